#pragma once

#include <QDialog>

#include "session/FileSend.h"
#include "traffic/SendText.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

// "发送设置": escapes and the line ending of text sends, and the packets of a file send.
// 确定 takes the values only when the packet size and delay are whole numbers from 0 up;
// otherwise it says so and the values stay.
class CSendSettingsDlg : public QDialog {
    Q_OBJECT

public:
    CSendSettingsDlg(const TextSendOptions& text, const FileSendOptions& file, QWidget* parent = nullptr);

    const TextSendOptions& TextOptions() const { return m_text; }
    const FileSendOptions& FileOptions() const { return m_file; }

    QCheckBox* EscapesBox() const { return m_escapes; }
    QComboBox* LineEndingList() const { return m_lineEnding; }
    QLineEdit* PacketSizeEdit() const { return m_packetSize; }
    QLineEdit* PacketDelayEdit() const { return m_packetDelay; }

public slots:
    void accept() override;

private:
    TextSendOptions m_text;
    FileSendOptions m_file;
    QCheckBox* m_escapes;
    QComboBox* m_lineEnding;
    QLineEdit* m_packetSize;
    QLineEdit* m_packetDelay;
};
