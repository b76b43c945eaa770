#include "app/SendSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/IntegerText.h"
#include "ui/MessageBox.h"

CSendSettingsDlg::CSendSettingsDlg(const TextSendOptions& text, const FileSendOptions& file, QWidget* parent)
    : QDialog(parent),
      m_text(text),
      m_file(file),
      m_escapes(new QCheckBox(QStringLiteral("转义字符（\\r \\n \\t \\\\ \\0 \\xHH）"))),
      m_lineEnding(new QComboBox),
      m_packetSize(new QLineEdit(QString::number(file.packetSize))),
      m_packetDelay(new QLineEdit(QString::number(file.packetDelayMs)))
{
    setWindowTitle(QStringLiteral("发送设置"));
    m_escapes->setChecked(text.escapes);
    m_lineEnding->addItem(QStringLiteral("无"), static_cast<int>(LineEnding::None));
    m_lineEnding->addItem(QStringLiteral("CR"), static_cast<int>(LineEnding::Cr));
    m_lineEnding->addItem(QStringLiteral("LF"), static_cast<int>(LineEnding::Lf));
    m_lineEnding->addItem(QStringLiteral("CR LF"), static_cast<int>(LineEnding::CrLf));
    m_lineEnding->setCurrentIndex(m_lineEnding->findData(static_cast<int>(text.lineEnding)));

    auto* form = new QFormLayout;
    form->addRow(m_escapes);
    form->addRow(QStringLiteral("行尾："), m_lineEnding);
    form->addRow(QStringLiteral("发送文件每包（字节，0 为整个文件）："), m_packetSize);
    form->addRow(QStringLiteral("包间隔（毫秒）："), m_packetDelay);

    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSendSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSendSettingsDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CSendSettingsDlg::accept()
{
    for (QLineEdit* edit : {m_packetSize, m_packetDelay}) {
        const std::optional<int> value = ParseInteger(edit->text().toStdString());
        if (!value || *value < 0) {
            ShowMessage(this, QStringLiteral("请输入一个不小于 0 的整数。"));
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    m_text.escapes = m_escapes->isChecked();
    m_text.lineEnding = static_cast<LineEnding>(m_lineEnding->currentData().toInt());
    m_file.packetSize = *ParseInteger(m_packetSize->text().toStdString());
    m_file.packetDelayMs = *ParseInteger(m_packetDelay->text().toStdString());
    QDialog::accept();
}
