#pragma once

#include <QObject>

#include "session/SessionLoop.h"

// The window thread's event loop as a terminal session's loop: posted tasks are queued calls
// on this object, dropped if it is gone before they run, and timers are QTimers.
class QtSessionLoop : public QObject, public SessionLoop {
    Q_OBJECT

public:
    explicit QtSessionLoop(QObject* parent = nullptr);

    void Post(std::function<void()> task) override;
    std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> task, bool singleShot) override;
};
