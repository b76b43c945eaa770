#include "scheme/RuleDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/DialogTextEdit.h"
#include "ui/Gbk.h"

CRuleDlg::CRuleDlg(QWidget* parent)
    : QDialog(parent),
      m_nameEdit(new QLineEdit(this)),
      m_recvEdit(new DialogTextEdit(this)),
      m_recvHexBox(new QCheckBox(QStringLiteral("16进制接收"), this)),
      m_sendEdit(new DialogTextEdit(this)),
      m_sendHexBox(new QCheckBox(QStringLiteral("16进制发送"), this))
{
    setWindowTitle(QStringLiteral("编辑规则"));
    m_nameEdit->setObjectName(QString::number(IDC_NAME));
    m_recvEdit->setObjectName(QString::number(IDC_RECV_DATA));
    m_recvHexBox->setObjectName(QString::number(IDC_RECV_HEX));
    m_sendEdit->setObjectName(QString::number(IDC_SEND_DATA));
    m_sendHexBox->setObjectName(QString::number(IDC_SEND_HEX));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CRuleDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRuleDlg::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("规则名："), this), 0, 0);
    layout->addWidget(m_nameEdit, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("接收数据"), this), 1, 0, Qt::AlignTop);
    layout->addWidget(m_recvEdit, 1, 1);
    layout->addWidget(m_recvHexBox, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("发送数据"), this), 3, 0, Qt::AlignTop);
    layout->addWidget(m_sendEdit, 3, 1);
    layout->addWidget(m_sendHexBox, 4, 1);
    layout->addWidget(buttons, 5, 0, 1, 2);
    resize(420, 300);
}

void CRuleDlg::PushMembers()
{
    m_nameEdit->setText(FromGbk(m_name));
    m_recvEdit->setPlainText(FromGbkLines(m_recvData));
    m_recvHexBox->setChecked(m_recvIsHex != 0);
    m_sendEdit->setPlainText(FromGbkLines(m_sendData));
    m_sendHexBox->setChecked(m_sendIsHex != 0);
}

int CRuleDlg::exec()
{
    PushMembers();
    return QDialog::exec();
}

void CRuleDlg::accept()
{
    m_recvData = ToGbkLines(m_recvEdit->toPlainText());
    m_recvIsHex = m_recvHexBox->isChecked() ? 1 : 0;
    m_sendData = ToGbkLines(m_sendEdit->toPlainText());
    m_sendIsHex = m_sendHexBox->isChecked() ? 1 : 0;
    m_name = ToGbk(m_nameEdit->text());
    QDialog::accept();
}
