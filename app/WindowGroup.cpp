#include "app/WindowGroup.h"

#include <QPointer>
#include <algorithm>
#include <utility>

#include "app/SerialDebugDlg.h"
#include "app/TimelineDlg.h"

CWindowGroup::CWindowGroup(std::string programDirectory) : m_programDirectory(std::move(programDirectory)) {}

CWindowGroup::~CWindowGroup()
{
    for (const QPointer<CSerialDebugDlg>& window : m_opened) {
        delete window;
    }
    delete m_timelineWindow;
}

void CWindowGroup::Join(CSerialDebugDlg* window)
{
    m_windows.push_back(window);
    if (m_timelineWindow != nullptr && m_timelineWindow->isVisible()) {
        window->Session().FeedTimeline(&m_timeline);
    }
    emit WindowsChanged();
}

void CWindowGroup::Forget(CSerialDebugDlg* window)
{
    std::erase(m_windows, window);
}

int CWindowGroup::NumberOf(const CSerialDebugDlg* window) const
{
    const auto found = std::find(m_windows.begin(), m_windows.end(), window);
    return found == m_windows.end() ? 0 : static_cast<int>(found - m_windows.begin()) + 1;
}

CSerialDebugDlg* CWindowGroup::OpenWindow(std::optional<int> port)
{
    auto* window = new CSerialDebugDlg(*this);
    m_opened.emplace_back(window);
    connect(window, &QDialog::finished, window, &QObject::deleteLater);
    if (port) {
        window->SetStartPort(*port);
    }
    window->OnInitDialog();
    window->show();
    return window;
}

void CWindowGroup::CloseAll()
{
    m_closingAll = true;
    // Each window leaves the list as it closes, and may be deleted soon after.
    const std::vector<QPointer<CSerialDebugDlg>> windows(m_windows.begin(), m_windows.end());
    for (const QPointer<CSerialDebugDlg>& window : windows) {
        if (window) {
            window->close();
        }
    }
    m_closingAll = false;
}

bool CWindowGroup::IsLast(const CSerialDebugDlg* window) const
{
    return m_windows.size() == 1 && m_windows.front() == window;
}

void CWindowGroup::ExportDefaultScheme()
{
    if (!m_keepDefaultScheme) {
        m_scheme.Export(SchemePath());
    }
}

void CWindowGroup::Closed(CSerialDebugDlg* window, const WindowSettings& settings)
{
    const bool last = IsLast(window);
    if (m_closingAll || last) {
        m_closedInEnding.push_back(settings);
    }
    std::erase(m_windows, window);
    if (last) {
        SaveSettings(ConfigPath(), std::exchange(m_closedInEnding, {}));
        emit Ended();
    } else {
        emit WindowsChanged();
    }
}

void CWindowGroup::ShowTimeline(QWidget* beside)
{
    if (m_timelineWindow == nullptr) {
        m_timelineWindow = new CTimelineDlg(m_timeline);
        m_timelineWindow->move(beside->frameGeometry().topLeft() + QPoint(40, 40));
        connect(m_timelineWindow, &QDialog::finished, this, [this] { FeedTimeline(false); });
    }
    FeedTimeline(true);
    m_timelineWindow->show();
    m_timelineWindow->raise();
    m_timelineWindow->activateWindow();
}

void CWindowGroup::FeedTimeline(bool on)
{
    for (CSerialDebugDlg* window : m_windows) {
        window->Session().FeedTimeline(on ? &m_timeline : nullptr);
    }
}

CTimelineDlg* CWindowGroup::TimelineWindow() const { return m_timelineWindow; }
