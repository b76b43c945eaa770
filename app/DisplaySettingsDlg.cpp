#include "app/DisplaySettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/IntegerText.h"
#include "ui/MessageBox.h"

CDisplaySettingsDlg::CDisplaySettingsDlg(const DisplayOptions& options, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_timeStamps(new QCheckBox(QStringLiteral("时间戳和分包显示"))),
      m_gap(new QLineEdit(QString::number(options.frameGapMs))),
      m_showSent(new QCheckBox(QStringLiteral("显示发送"))),
      m_modbus(new QCheckBox(QStringLiteral("Modbus RTU 解析"))),
      m_codec(new QComboBox),
      m_captureFormat(new QComboBox)
{
    setWindowTitle(QStringLiteral("显示设置"));
    m_timeStamps->setChecked(options.timeStamps);
    m_showSent->setChecked(options.showSent);
    m_modbus->setChecked(options.modbusDecode);
    m_modbus->setToolTip(QStringLiteral("每帧的下一行写出它的 Modbus RTU 内容和 CRC 是否正确。"
                                        "分包间隔为 %1 毫秒时，帧以 3.5 个字符时间的静默分开。")
                             .arg(DisplayOptions::kDefaultFrameGap));
    m_codec->addItem(QStringLiteral("GBK"), static_cast<int>(TextCodec::Gbk));
    m_codec->addItem(QStringLiteral("UTF-8"), static_cast<int>(TextCodec::Utf8));
    m_codec->setCurrentIndex(m_codec->findData(static_cast<int>(options.codec)));
    m_captureFormat->addItem(QStringLiteral("原始数据"), static_cast<int>(CaptureFormat::Raw));
    m_captureFormat->addItem(QStringLiteral("日志（时间戳和十六进制）"), static_cast<int>(CaptureFormat::Log));
    m_captureFormat->setCurrentIndex(m_captureFormat->findData(static_cast<int>(options.captureFormat)));

    auto* gapRow = new QHBoxLayout;
    gapRow->addWidget(m_gap);
    gapRow->addWidget(new QLabel(QStringLiteral("毫秒")));
    auto* form = new QFormLayout;
    form->addRow(m_timeStamps);
    form->addRow(QStringLiteral("分包间隔："), gapRow);
    form->addRow(m_showSent);
    form->addRow(m_modbus);
    form->addRow(QStringLiteral("文本编码："), m_codec);
    form->addRow(QStringLiteral("记录格式："), m_captureFormat);

    auto* buttons = new QDialogButtonBox;
    m_ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDisplaySettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDisplaySettingsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CDisplaySettingsDlg::accept()
{
    const std::optional<int> gap = ParseInteger(m_gap->text().toStdString());
    if (!gap || !DisplayOptions::IsValidFrameGap(*gap)) {
        ShowMessage(this, QStringLiteral("分包间隔必须是 %1 到 %2 之间的整数（毫秒）。")
                              .arg(DisplayOptions::kMinFrameGap)
                              .arg(DisplayOptions::kMaxFrameGap));
        m_gap->setText(QString::number(m_options.frameGapMs));
        m_gap->setFocus();
        m_gap->selectAll();
        return;
    }
    m_options.timeStamps = m_timeStamps->isChecked();
    m_options.frameGapMs = *gap;
    m_options.showSent = m_showSent->isChecked();
    m_options.modbusDecode = m_modbus->isChecked();
    m_options.codec = static_cast<TextCodec>(m_codec->currentData().toInt());
    m_options.captureFormat = static_cast<CaptureFormat>(m_captureFormat->currentData().toInt());
    QDialog::accept();
}
