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
    // Held under the lock, so the window cannot finish detaching while the call is queued; the
    // guard drops the call if the window is deleted before it runs.
    QPointer<CSerialDebugDlg> window(m_window);
    QMetaObject::invokeMethod(
        m_window,
        [window, message, wParam, lParam] {
            if (window) {
                window->OnPortNotification(message, wParam, lParam);
            }
        },
        Qt::QueuedConnection);
}

void WindowNotificationSink::ReportFailure(const std::string& caption, const std::string& text)
{
    QMetaObject::invokeMethod(
        qApp, [caption, text] { ShowMessage(nullptr, FromGbk(text), MessageButtons::Ok, FromGbk(caption)); },
        Qt::QueuedConnection);
}
