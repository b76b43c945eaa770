#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "traffic/Capture.h"

class QAction;
class QWidget;

// The window side of recording traffic to a file: the commands "开始记录" and "停止记录", the
// title that shows the file's size while recording, and the one message that reports why a
// recording had to stop. The main window hands it every read and every send.
class CCaptureControl : public QObject {
    Q_OBJECT

public:
    // `window` owns the messages and carries the title; `start` and `stop` are its commands.
    CCaptureControl(QWidget* window, QAction* start, QAction* stop);

    void SetOptions(const DisplayOptions& options);

    void Received(const unsigned char* bytes, std::size_t count, const ReadTime& time);
    void Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time);

    // "开始记录...": asks for a file (serial-YYYYMMDD-HHMMSS.log in the folder used last) and
    // starts recording into it, emptying it when it exists (the file dialog asked about that).
    void AskAndStart();
    // Ends the recording, if there is one, and reports a failure that ended it early; false
    // after such a failure.
    bool Stop();
    // Records into `path`, continuing the file if it exists, from the next opening of the port
    // on (at once when `portOpen`). This recording is unattended: a lost port ends it, and the
    // next opening of the port continues it in the same file.
    void StartWhenPortOpens(const std::string& path, bool portOpen);
    void PortOpened();
    void PortLost();

    bool IsActive() const { return m_capture.IsActive(); }

    static QString Title(bool active, std::uint64_t fileSize);

private:
    void Start(const QString& path, CaptureOpen mode);
    void StopByUser();
    void CheckProgress();
    void ShowState();

    QWidget* m_window;
    QAction* m_start;
    QAction* m_stop;
    Capture m_capture;
    DisplayOptions m_options;
    QTimer m_progress;
    QString m_folder;
    std::string m_startOnOpen;
    std::string m_unattendedPath;  // "" once a recording from the menus took over
};
