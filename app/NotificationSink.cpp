#include "app/NotificationSink.h"

#include <QApplication>

#include "app/Gbk.h"
#include "app/MessageBox.h"
#include "app/SerialDebugDlg.h"

WindowNotificationSink::WindowNotificationSink(CSerialDebugDlg* window) : m_window(window) {}

void WindowNotificationSink::Detach()
{
    std::lock_guard lock(m_mutex);
    m_window = nullptr;
}

bool WindowNotificationSink::IsAlive() const
{
    std::lock_guard lock(m_mutex);
    return m_window != nullptr;
}

void WindowNotificationSink::Post(unsigned message, int wParam, long lParam)
{
    std::lock_guard lock(m_mutex);
    if (m_window == nullptr) {
        return;
    }
    // Receive notifications that come while one is still queued ride along with it: its call
    // handles each of them in turn, so a flood makes one trip through the event loop per batch.
    if (message == WM_COMM_RXCHAR && m_receivesQueued++ > 0) {
        return;
    }
    // Held under the lock, so the window cannot finish detaching while the call is queued; the
    // guard drops the call if the window is deleted before it runs (the window owns this sink).
    QPointer<CSerialDebugDlg> window(m_window);
    QMetaObject::invokeMethod(
        m_window,
        [this, window, message, wParam, lParam] {
            const int count = message == WM_COMM_RXCHAR ? TakeQueuedReceives() : 1;
            for (int i = 0; i < count && window; ++i) {
                window->OnPortNotification(message, wParam, lParam);
            }
        },
        Qt::QueuedConnection);
}

int WindowNotificationSink::TakeQueuedReceives() { return m_receivesQueued.exchange(0); }

void WindowNotificationSink::ReportFailure(const std::string& caption, const std::string& text)
{
    QMetaObject::invokeMethod(
        qApp, [caption, text] { ShowMessage(nullptr, FromGbk(text), MessageButtons::Ok, FromGbk(caption)); },
        Qt::QueuedConnection);
}
