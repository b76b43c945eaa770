#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QCheckBox;
class QLineEdit;
class DialogTextEdit;

// Edits one auto-reply rule ("编辑规则"). The members are copied into the controls when the
// dialog opens and back when OK is pressed; texts are kept exactly as typed.
class CRuleDlg : public QDialog {
    Q_OBJECT

public:
    enum Control { IDC_RECV_DATA = 1015, IDC_SEND_DATA = 1016, IDC_RECV_HEX = 1033, IDC_SEND_HEX = 1034, IDC_NAME = 1301 };

    explicit CRuleDlg(QWidget* parent = nullptr);

    int exec() override;
    void accept() override;

    std::string m_recvData;
    std::int32_t m_recvIsHex = 0;
    std::string m_sendData;
    std::int32_t m_sendIsHex = 0;
    std::string m_name;

private:
    void PushMembers();

    QLineEdit* m_nameEdit;
    DialogTextEdit* m_recvEdit;
    QCheckBox* m_recvHexBox;
    DialogTextEdit* m_sendEdit;
    QCheckBox* m_sendHexBox;
};
