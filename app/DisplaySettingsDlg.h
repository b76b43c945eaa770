#pragma once

#include <QDialog>

#include "traffic/DisplayOptions.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// "显示设置": time stamps and frames, the frame gap, sent frames, Modbus RTU descriptions, the
// text encoding and the capture format. 确定 takes the values only when the gap is a whole number of milliseconds
// from 1 to 60000; otherwise it says so and the gap keeps its old value.
class CDisplaySettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDisplaySettingsDlg(const DisplayOptions& options, QWidget* parent = nullptr);

    // The values taken by 确定 (the ones given, until then).
    const DisplayOptions& Options() const { return m_options; }

    QCheckBox* TimeStampBox() const { return m_timeStamps; }
    QLineEdit* GapEdit() const { return m_gap; }
    QCheckBox* ShowSentBox() const { return m_showSent; }
    QCheckBox* ModbusBox() const { return m_modbus; }
    QComboBox* CodecList() const { return m_codec; }
    QComboBox* CaptureFormatList() const { return m_captureFormat; }
    QPushButton* OkButton() const { return m_ok; }

    void accept() override;

private:
    DisplayOptions m_options;
    QCheckBox* m_timeStamps;
    QLineEdit* m_gap;
    QCheckBox* m_showSent;
    QCheckBox* m_modbus;
    QComboBox* m_codec;
    QComboBox* m_captureFormat;
    QPushButton* m_ok;
};
