#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include "session/SessionObserver.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TerminalSession;

// The progress of "发送文件": bytes sent of the file's, percent, rate and time left, and
// "取消", which ends the send (what was handed to the port still goes out). It closes itself
// when the send ends.
class CFileSendDlg : public QDialog, private SessionObserver {
    Q_OBJECT

public:
    CFileSendDlg(TerminalSession& session, const QString& fileName, QWidget* parent);
    ~CFileSendDlg() override;

    QLabel* ProgressText() const { return m_text; }
    QProgressBar* Bar() const { return m_bar; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    void FileSendChanged() override;

    TerminalSession& m_session;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    QElapsedTimer m_sinceShown;  // the figures change at most ten times a second
};
