#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/LineSettings.h"

// Port events a wait reports (the event word).
constexpr unsigned EV_RXCHAR = 0x0001;   // bytes are waiting in the input queue
constexpr unsigned EV_RXFLAG = 0x0002;   // not reported by any device here
constexpr unsigned EV_TXEMPTY = 0x0004;  // the output queue ran empty
constexpr unsigned EV_CTS = 0x0008;
constexpr unsigned EV_DSR = 0x0010;
constexpr unsigned EV_RLSD = 0x0020;     // carrier detect changed
constexpr unsigned EV_BREAK = 0x0040;
constexpr unsigned EV_ERR = 0x0080;      // a framing, overrun or parity error
constexpr unsigned EV_RING = 0x0100;
// A monitored port passed bytes of the program at its virtual end on to its device: they wait
// for ReadPassedOn. Reported once until ReadPassedOn has taken them all.
constexpr unsigned EV_PASSED_ON = 0x0200;
constexpr unsigned kAllPortEvents = 0x03FF;

// What Purge discards.
constexpr unsigned PURGE_TXABORT = 0x1;
constexpr unsigned PURGE_RXABORT = 0x2;
constexpr unsigned PURGE_TXCLEAR = 0x4;
constexpr unsigned PURGE_RXCLEAR = 0x8;

// Line-error flags of ClearErrors.
constexpr unsigned CE_RXOVER = 0x0001;
constexpr unsigned CE_OVERRUN = 0x0002;
constexpr unsigned CE_RXPARITY = 0x0004;
constexpr unsigned CE_FRAME = 0x0008;
constexpr unsigned CE_BREAK = 0x0010;

// Modem-status bits of GetModemStatus.
constexpr unsigned MS_CTS_ON = 0x0010;
constexpr unsigned MS_DSR_ON = 0x0020;
constexpr unsigned MS_RING_ON = 0x0040;
constexpr unsigned MS_RLSD_ON = 0x0080;

// Time-outs in milliseconds. The write time-out of a write of n bytes is
// writeTotalTimeoutMultiplier * n + writeTotalTimeoutConstant; 0 for both means none.
struct CommTimeouts {
    unsigned readIntervalTimeout = 0;
    unsigned readTotalTimeoutMultiplier = 0;
    unsigned readTotalTimeoutConstant = 0;
    unsigned writeTotalTimeoutMultiplier = 0;
    unsigned writeTotalTimeoutConstant = 0;
};

struct WaitRequest {
    bool watchInput = true;        // report EV_RXCHAR while bytes wait
    bool watchOutputRoom = false;  // report when the device can take more output
    bool outputQueued = false;     // the caller still holds output, so the queue is not "empty"
    int timeoutMs = -1;            // -1: no limit
};

struct WaitResult {
    unsigned events = 0;      // the event word, only events of the mask
    bool outputRoom = false;  // the device can take output (or has gone, so writing fails at once)
    bool hungUp = false;      // the device has gone (adapter unplugged, other end closed)
};

// Why Open failed, in the terms the user is told.
enum class OpenFailure {
    None,
    NoSuchDevice,     // nothing at that name
    InUse,            // another program holds it
    NoPermission,     // the user may not open it
    NotSerialDevice,  // something is there, but not a serial device
    Other,            // see the system error
    // A network port:
    BadAddress,        // the address is not a network port this program can open
    NameNotResolved,   // the host name does not resolve
    Refused,           // nothing listens at the port
    TimedOut,          // no answer in time
    Unreachable,       // no route to the host, or the network is down
    ConnectionClosed,  // the server closed the connection while it was being set up
    NoTelnet,          // the server gave no Telnet answer on an rfc2217:// address
    BinaryRefused,     // the server refused 8-bit data (Telnet BINARY)
    Cancelled,         // CancelOpen from another thread
    // A virtual or monitored port (a monitor reports its device's failures as they are):
    BadVirtualPort,  // the target is not one this program can make
    NameInUse,       // another running program has a virtual port of that name
    LinkFolder,      // the folder of the links cannot be made or is not the user's own
};

struct OpenError {
    OpenFailure failure = OpenFailure::None;
    int systemError = 0;  // errno where there is one
};

// The driver's own counts of line events since the device was opened.
struct LineCounters {
    std::uint64_t overrun = 0;  // characters lost in the UART or the driver's buffer
    std::uint64_t framing = 0;
    std::uint64_t parity = 0;
    std::uint64_t breaks = 0;
};

enum class ControlLine { Dtr, Rts };

// A device a port talks to: a local serial device, or another kind chosen by the port's
// resolved target. Reads and writes never block: they take what is there at once. One thread
// may wait for events (WaitEvent) while another reads, writes, purges, clears errors and sets
// lines; Open and Close must not run while a wait is in progress.
//
// A device that has gone (hang-up, an I/O error of any operation, its node removed or
// replaced) reports it through IsLost from then on; it stays open until Close.
class Device {
public:
    virtual ~Device() = default;

    // Fails with a reason (LastOpenError) and leaves errno set.
    virtual bool Open(const std::string& target) = 0;
    virtual OpenError LastOpenError() const = 0;
    // Makes an Open in progress on another thread, and any later one until Close, fail at once
    // (Cancelled). Any thread. A device whose opening never waits has nothing to end.
    virtual void CancelOpen() {}
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // A number that names the open device in failure reports (the descriptor).
    virtual int Handle() const = 0;

    virtual bool IsLost() const = 0;
    // Checks that the device is still what `Open` opened (the node is there and is the same
    // device); marks it lost when not. Returns !IsLost().
    virtual bool CheckPresence() = 0;

    virtual bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) = 0;
    virtual bool GetTimeouts(CommTimeouts& timeouts) const = 0;
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;

    virtual bool GetLineSettings(LineSettings& settings) const = 0;
    // Applies the settings; when the device refuses or alters any of them it is put back as
    // it was and false is returned.
    virtual bool SetLineSettings(const LineSettings& settings) = 0;

    virtual bool Purge(unsigned flags) = 0;

    // Events WaitEvent reports (EV_ bits; other bits are refused with EINVAL). Changing the
    // mask ends a wait in progress.
    virtual bool SetEventMask(unsigned mask) = 0;
    virtual unsigned EventMask() const = 0;
    // Waits until an event of the mask, output room (when asked), the time-out, a WakeWait,
    // a change of the mask or the loss of the device.
    virtual WaitResult WaitEvent(const WaitRequest& request) = 0;
    // Ends a wait in progress, or the next one, from any thread.
    virtual void WakeWait() = 0;

    // Returns and clears the line errors (CE_ bits) since the last call and gives the input
    // queue's byte count.
    virtual bool ClearErrors(unsigned& errors, std::size_t& inputQueueCount) = 0;
    virtual bool GetModemStatus(unsigned& status) const = 0;
    // Bytes in the input queue, without touching the error state.
    virtual bool InputQueueBytes(std::size_t& count) const = 0;

    // Raises (true) or drops an output line; false where the device has no such line.
    virtual bool SetControlLine(ControlLine line, bool on) = 0;
    // Starts (true) or ends a break on the output; never waits.
    virtual bool SetBreak(bool on) = 0;
    // The driver's counts since Open; false where the driver does not keep them.
    virtual bool GetLineCounters(LineCounters& counters) const = 0;

    // Bytes read, 0 when none wait, -1 on failure.
    virtual long Read(void* buffer, std::size_t size) = 0;
    // Bytes the device took (0 when its queue is full), -1 on failure.
    virtual long Write(const void* bytes, std::size_t size) = 0;
    // A monitored port: bytes another program wrote and the port passed on to the device, in
    // order; 0 when none wait. Other devices pass nothing on.
    virtual std::size_t ReadPassedOn(void* /*buffer*/, std::size_t /*size*/) { return 0; }
};

// Makes the device for a resolved target: the kind is chosen by the target's form, a network
// port ("rfc2217://HOST:PORT", "tcp://HOST:PORT") or a device path.
using DeviceFactory = std::function<std::unique_ptr<Device>(const std::string& target)>;
std::unique_ptr<Device> CreateDevice(const std::string& target);
// Whether opening the device of `target` may wait (a network port connects and negotiates for
// up to seconds), so that a thread that must not block opens it elsewhere.
bool OpeningMayWait(const std::string& target);
