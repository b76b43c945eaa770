#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A timer of the owner's thread: calls its task every interval (once, for a single-shot timer)
// until it is stopped or destroyed.
class SessionTimer {
public:
    virtual ~SessionTimer() = default;
    // (Re)starts the timer; the first call comes `interval` from now.
    virtual void Start(std::chrono::milliseconds interval) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

// The event loop of the thread that owns a terminal session: the session's handlers run there,
// one at a time. The window's loop in the program; a loop the test turns by hand in tests.
class SessionLoop {
public:
    virtual ~SessionLoop() = default;
    // Runs `task` on the owner's thread soon. May be called on any thread; never waits.
    virtual void Post(std::function<void()> task) = 0;
    virtual std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> task, bool singleShot) = 0;
};
