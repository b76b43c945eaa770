#pragma once

#include <QDialog>
#include <QTimer>
#include <map>

#include "session/SessionObserver.h"

class PortEngine;
class TerminalSession;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// "串口状态": modeless, beside the main window. Lamps for the modem lines CTS, DSR, DCD and RI;
// DTR and RTS boxes that set those lines; a button that sends a 250 ms break; and the counts
// since the port was opened. It is brought up to date when the session reports a port
// notification, a send or a change of the port (Touch), at most ten times a second, and never
// while nothing happens.
class CPortStatusDlg : public QDialog, private SessionObserver {
    Q_OBJECT

public:
    static constexpr int kRefreshGapMs = 100;
    static constexpr int kBreakMs = 250;

    CPortStatusDlg(TerminalSession& session, QWidget* parent);
    ~CPortStatusDlg() override;

    // Puts the window beside `window`: to its right where the screen has room, else to its left.
    void PlaceBeside(const QWidget& window);

    // Something changed on the port: the window is brought up to date soon.
    void Touch();
    // Brings the window up to date now.
    void Refresh();
    bool RefreshPending() const { return m_refreshTimer.isActive(); }

    // The lamp, box or count named "CTS", "DSR", "DCD", "RI", "DTR", "RTS", "Break",
    // "received", "sent", "overrun", "framing", "parity", "breaks", "dropped", or "line" (the
    // settings the program at a virtual port's other end set).
    QWidget* Item(const QString& name) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PortEvent(unsigned message) override;
    void Sent(const std::string& text, std::int32_t isHex) override;
    void PortStateChanged() override;
    void PassedOn() override;

    QLabel* AddLamp(const QString& name);
    QLabel* AddCount(const QString& name);
    void ShowLamp(const QString& name, bool known, bool lit);
    void ShowProgramLine(bool open);
    void ShowCount(const QString& name, bool known, std::uint64_t count);
    void OnControlLine();
    void OnSendBreak();

    TerminalSession& m_session;
    PortEngine& m_port;
    QTimer m_refreshTimer;
    bool m_wasOpen = false;
    std::map<QString, QWidget*> m_items;
    QCheckBox* m_dtrBox = nullptr;
    QCheckBox* m_rtsBox = nullptr;
    QPushButton* m_breakButton = nullptr;
    QGroupBox* m_lineBox = nullptr;
};
