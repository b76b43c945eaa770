#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/LineSettings.h"

// Port events a wait reports (the event word).
constexpr unsigned EV_RXCHAR = 0x0001;   // bytes are waiting in the input queue
constexpr unsigned EV_RXFLAG = 0x0002;   // not reported by this device
constexpr unsigned EV_TXEMPTY = 0x0004;  // the output queue ran empty
constexpr unsigned EV_CTS = 0x0008;
constexpr unsigned EV_DSR = 0x0010;
constexpr unsigned EV_RLSD = 0x0020;     // carrier detect changed
constexpr unsigned EV_BREAK = 0x0040;
constexpr unsigned EV_ERR = 0x0080;      // a framing, overrun or parity error
constexpr unsigned EV_RING = 0x0100;
constexpr unsigned kAllPortEvents = 0x01FF;

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

// A serial device opened for exclusive use, never blocking: reads and writes take what is
// there at once. One thread may wait for events (WaitEvent) while another reads, writes,
// purges and clears errors; Open and Close must not run while a wait is in progress.
class SerialDevice {
public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the device at `path` raw (no echo, no line editing, no translation), keeping its
    // line settings. Fails when it is missing, not a terminal, or open elsewhere (flock and
    // TIOCEXCL), leaving errno set.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    int Descriptor() const;

    // The kernel's queues have fixed sizes; succeeds when the device is open.
    bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes);
    bool GetTimeouts(CommTimeouts& timeouts) const;
    bool SetTimeouts(const CommTimeouts& timeouts);

    bool GetLineSettings(LineSettings& settings) const;
    // Applies the settings; when the device refuses or alters any of them it is put back as
    // it was and false is returned. Any baud rate the driver accepts works.
    bool SetLineSettings(const LineSettings& settings);

    bool Purge(unsigned flags);

    // Events WaitEvent reports (EV_ bits; other bits are refused with EINVAL). Changing the
    // mask ends a wait in progress.
    bool SetEventMask(unsigned mask);
    unsigned EventMask() const;
    // Waits until an event of the mask, output room (when asked), the time-out, a WakeWait
    // or a change of the mask. Modem lines (TIOCMGET) and line errors (TIOCGICOUNT) are
    // compared with their last values at every wake, and every few milliseconds while the
    // driver supports them; a device without them never wakes for them.
    WaitResult WaitEvent(const WaitRequest& request);
    // Ends a wait in progress, or the next one, from any thread.
    void WakeWait();

    // Returns and clears the line errors (CE_ bits) since the last call and gives the input
    // queue's byte count.
    bool ClearErrors(unsigned& errors, std::size_t& inputQueueCount);
    bool GetModemStatus(unsigned& status) const;
    // Bytes in the input queue, without touching the error state.
    bool InputQueueBytes(std::size_t& count) const;

    // Bytes read, 0 when none wait, -1 on failure.
    long Read(void* buffer, std::size_t size);
    // Bytes the device took (0 when its queue is full), -1 on failure.
    long Write(const void* bytes, std::size_t size);

private:
    struct LineErrorCounts {
        int frame = 0, overrun = 0, parity = 0, bufferOverrun = 0, breaks = 0;
    };

    bool ReadLineErrorCounts(LineErrorCounts& counts) const;
    void TakeEventBaselines();
    bool NeedsLinePolling(unsigned mask) const;
    unsigned ModemLineEvents(unsigned mask);
    unsigned LineErrorEvents(unsigned mask);
    unsigned OutputEmptyEvent(unsigned mask, bool outputQueued);
    void DrainWakeUps();

    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;
    std::atomic<unsigned> eventMask_{0};
    std::atomic<bool> rebaseEvents_{false};
    std::atomic<bool> outputInFlight_{false};

    // Used by the waiting thread only.
    bool hungUp_ = false;
    bool modemLinesSupported_ = false;
    bool lineErrorsSupported_ = false;
    int lastModemLines_ = 0;
    LineErrorCounts lastEventCounts_;

    mutable std::mutex mutex_;  // guards what both threads use below
    CommTimeouts timeouts_;
    LineErrorCounts lastClearedCounts_;
};
