#pragma once

#include <QObject>
#include <QPointer>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "scheme/Scheme.h"
#include "session/Timeline.h"

class CSerialDebugDlg;
class CTimelineDlg;

// The main windows of one program and what they share: the settings folder, the scheme with its
// file Default.pol (read by the first window at start, written once when the last one closes),
// and the timeline of every window's traffic. Window k keeps its values in section k of
// Config.ini; the file is written once, when the program ends, with the values of the windows
// open at that moment, in their order.
class CWindowGroup : public QObject {
    Q_OBJECT

public:
    explicit CWindowGroup(std::string programDirectory);
    ~CWindowGroup() override;

    std::string ConfigPath() const { return m_programDirectory + "/Config.ini"; }
    std::string SchemePath() const { return m_programDirectory + "/Default.pol"; }
    Scheme& GetScheme() { return m_scheme; }
    Timeline& GetTimeline() { return m_timeline; }

    // A window joins at its construction and leaves when it closes; the first is window 1.
    void Join(CSerialDebugDlg* window);
    // A window that goes without closing (deleted as it stands) leaves without a word.
    void Forget(CSerialDebugDlg* window);
    int NumberOf(const CSerialDebugDlg* window) const;
    int Count() const { return static_cast<int>(m_windows.size()); }
    const std::vector<CSerialDebugDlg*>& Windows() const { return m_windows; }

    // "新建窗口": opens another window, with the values of the section it will have, on `port`
    // (1 for COM1) when given; it is deleted when it closes.
    CSerialDebugDlg* OpenWindow(std::optional<int> port = std::nullopt);
    // "退出": closes every window; the program ends with all of them.
    void CloseAll();

    // Default.pol could not be read completely and no copy of it could be kept: it is not written.
    void KeepDefaultScheme() { m_keepDefaultScheme = true; }
    // The closing window is the last one open: the program ends with it.
    bool IsLast(const CSerialDebugDlg* window) const;
    // Writes Default.pol (unless it is kept).
    void ExportDefaultScheme();
    // `window` closes with these values: they are kept when the program ends with it, and written
    // with those of the windows that closed before it in the same ending.
    void Closed(CSerialDebugDlg* window, const WindowSettings& settings);

    // "合并视图": the timeline window, opened once and then shown again. The sessions feed the
    // timeline while it shows.
    void ShowTimeline(QWidget* beside);
    CTimelineDlg* TimelineWindow() const;

signals:
    // A window joined or left: titles name their ports while there is more than one.
    void WindowsChanged();
    // The last window has closed.
    void Ended();

private:
    std::string m_programDirectory;
    Scheme m_scheme;
    Timeline m_timeline;
    void FeedTimeline(bool on);

    std::vector<CSerialDebugDlg*> m_windows;
    std::vector<QPointer<CSerialDebugDlg>> m_opened;  // the windows OpenWindow made
    bool m_keepDefaultScheme = false;
    bool m_closingAll = false;
    std::vector<WindowSettings> m_closedInEnding;
    QPointer<CTimelineDlg> m_timelineWindow;
};
