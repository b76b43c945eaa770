#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "traffic/CaptureWriter.h"
#include "traffic/Clock.h"

// Something the user must be told, in a message box; the window words it.
struct SessionMessage {
    enum Kind {
        PortNumberInvalid,     // the port number is not one the engine opens
        PortNotOpened,         // detail: which device and why, in plain words (GBK)
        PortOpeningFailed,     // the opening itself broke down (out of memory, no thread)
        AutoSendPortClosed,    // "自动发送" with the port closed
        AutoSendZeroInterval,  // "自动发送" with an interval of 0
        CaptureNotCreated,     // path: the file; detail: the system's reason
        CaptureEnded,          // path: the file; failure: why it ended before it was stopped
        PortFailure,           // caption and detail: what the port's monitor thread could not handle (GBK)
        BadEscape,             // detail: the send text; position: where in it the bad escape begins
        FileNotSent,           // path: the file; detail: "notRegular", or the system's reason
        FileSendEnded,         // path: the file; detail: "portClosed", "shrank" or "readFailed"
    };

    Kind kind = PortNotOpened;
    std::string path{};
    std::string detail{};
    std::string caption{};
    CaptureFailure failure{};
    std::size_t position = 0;
};

// Hears what a terminal session did, on the session's thread. Every operation has a default that
// ignores it, so an observer overrides only what it shows.
class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // The receive area's text grew or was replaced, or the receive counter changed.
    virtual void ReceiveChanged() {}
    // Bytes read from the port at `time`, piece by piece, before the area shows them.
    virtual void BytesReceived(const unsigned char* /*bytes*/, std::size_t /*count*/, const ReadTime& /*time*/) {}
    // Data was sent (or counted, with the port closed): `text` and `isHex` as the send area
    // shows them; the send counter changed.
    virtual void Sent(const std::string& /*text*/, std::int32_t /*isHex*/) {}
    // A monitored port passed bytes of the program at its virtual end on, shown and counted as
    // sent; the send counter changed.
    virtual void PassedOn() {}
    // The port opened or closed, or began or ended connecting.
    virtual void PortStateChanged() {}
    // A notification of the port (WM_COMM_...) has been handled.
    virtual void PortEvent(unsigned /*message*/) {}
    // The port was closed (by the user or because its device went): auto-send has stopped, and
    // whatever else sends on a timer stops too.
    virtual void SendingStopped() {}
    // The auto-send period has passed: the window sends its send area as "手动发送" does.
    virtual void AutoSendDue() {}
    // A capture started or stopped, or its file grew.
    virtual void CaptureChanged() {}
    // A file send started, wrote more, or ended; the send counter changed with what it wrote.
    virtual void FileSendChanged() {}
    virtual void Message(const SessionMessage& /*message*/) {}
};
