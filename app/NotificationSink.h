#pragma once

#include <QPointer>
#include <mutex>

#include "serial/PortNotifications.h"

class CSerialDebugDlg;

// Carries the port engine's notifications from its monitor thread to the main window's thread
// as queued calls. Once detached (the window is going) everything it is given is dropped.
class WindowNotificationSink : public NotificationSink {
public:
    explicit WindowNotificationSink(CSerialDebugDlg* window);

    void Detach();

    bool IsAlive() const override;
    void Post(unsigned message, int wParam, long lParam) override;
    void ReportFailure(const std::string& caption, const std::string& text) override;

private:
    mutable std::mutex m_mutex;
    CSerialDebugDlg* m_window;
};
