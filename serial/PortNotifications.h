#pragma once

#include <string>

// Notifications the port engine posts to its owner; the wParam is always the port number.
// The lParam is 0 but for CTS and DSR (1 when the line is on) and ERROR (the CE_ flags).
constexpr unsigned WM_COMM_RXCHAR = 1642;
constexpr unsigned WM_COMM_CTS = 1643;
constexpr unsigned WM_COMM_DSR = 1645;
constexpr unsigned WM_COMM_RING = 1647;
constexpr unsigned WM_COMM_RLSD = 1648;
constexpr unsigned WM_COMM_BREAK = 1649;
constexpr unsigned WM_COMM_TXEMPTY = 1650;
constexpr unsigned WM_COMM_ERROR = 1651;
// The device has gone (hang-up, an I/O error, its node removed or replaced). Posted once,
// after the receive notifications of every byte that could still be read; the engine then
// watches the device no more, and the owner closes it.
constexpr unsigned WM_COMM_LOST = 1652;
// An opening that went on in the background (PortEngine::BeginOpening) has ended; the owner
// takes its outcome with FinishOpening. lParam 0.
constexpr unsigned WM_COMM_OPENED = 1653;
// A monitored port passed bytes of the program at its virtual end on to its device; the owner
// takes them all with PortEngine::ReadPassedOn. lParam 0.
constexpr unsigned WM_COMM_PASSED_ON = 1654;

// Receiver of the port engine's notifications. Called on the monitor thread; an
// implementation queues the notification for its own thread and never waits. A sink whose
// receiver is gone drops what it is given.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;

    // Whether the receiver still exists; nothing is posted to a sink that says no.
    virtual bool IsAlive() const = 0;

    virtual void Post(unsigned message, int wParam, long lParam) = 0;

    // A failure the monitor thread cannot handle, shown to the user with this caption.
    virtual void ReportFailure(const std::string& caption, const std::string& text) = 0;
};
