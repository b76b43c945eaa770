#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "res/Icons.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于 Tarnvik"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(353, 149);

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    icon->setGeometry(16, 16, 32, 32);

    auto* version = new QLabel(QStringLiteral("Tarnvik 3.0 版"), this);
    version->setGeometry(64, 16, 200, 18);
    auto* mailLabel = new QLabel(QStringLiteral("E-mail："), this);
    mailLabel->setGeometry(64, 46, 60, 18);
    auto* mail = new QLabel(QStringLiteral("support@tarnvik.example"), this);
    mail->setGeometry(124, 46, 200, 18);
    mail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* urlLabel = new QLabel(QStringLiteral("URL："), this);
    urlLabel->setGeometry(64, 70, 60, 18);
    auto* url = new QLabel(QStringLiteral("https://tarnvik.example/"), this);
    url->setGeometry(124, 70, 200, 18);
    url->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(272, 112, 66, 24);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
