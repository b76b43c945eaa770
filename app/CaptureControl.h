#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "session/SessionObserver.h"

class QAction;
class QWidget;
class TerminalSession;

// The window side of recording a session's traffic to a file: the commands "开始记录" and
// "停止记录", the title that shows the file's size while recording, and the one message that
// says why a recording could not start or had to stop.
class CCaptureControl : public QObject, private SessionObserver {
    Q_OBJECT

public:
    // `window` owns the messages and carries the title; `start` and `stop` are its commands.
    CCaptureControl(QWidget* window, QAction* start, QAction* stop, TerminalSession& session);
    ~CCaptureControl() override;

    // "开始记录...": asks for a file (serial-YYYYMMDD-HHMMSS.log in the folder used last) and
    // starts recording into it, emptying it when it exists (the file dialog asked about that).
    void AskAndStart();

    // The title names `portName` unless it is empty (the only window names no port).
    void SetPortName(const QString& portName);

    static QString Title(bool active, std::uint64_t fileSize, const QString& portName = QString());

private:
    void CaptureChanged() override;
    void Message(const SessionMessage& message) override;

    QWidget* m_window;
    QAction* m_start;
    QAction* m_stop;
    TerminalSession& m_session;
    QString m_folder;
    QString m_portName;
};
