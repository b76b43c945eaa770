#pragma once

#include <QPointer>
#include <atomic>
#include <mutex>

#include "serial/PortNotifications.h"

class CSerialDebugDlg;

// Carries the port engine's notifications from its monitor thread to the main window's thread
// as queued calls; receive notifications that pile up share one call, which handles each of
// them. Once detached (the window is going) everything it is given is dropped.
class WindowNotificationSink : public NotificationSink {
public:
    explicit WindowNotificationSink(CSerialDebugDlg* window);

    void Detach();

    bool IsAlive() const override;
    void Post(unsigned message, int wParam, long lParam) override;
    void ReportFailure(const std::string& caption, const std::string& text) override;

private:
    int TakeQueuedReceives();

    mutable std::mutex m_mutex;
    CSerialDebugDlg* m_window;
    // Receive notifications that the queued call will handle. Taken without the lock, which the
    // monitor thread holds while it queues a call: the call it queues must not wait for it.
    std::atomic<int> m_receivesQueued{0};
};
