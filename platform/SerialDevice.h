#pragma once

#include <atomic>
#include <memory>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "platform/PolledDevice.h"

// A local serial device opened for exclusive use: a terminal device on Linux, a COM port
// ("\\.\COMn") of the communications API on Windows.
class SerialDevice : public PolledDevice {
public:
    SerialDevice();
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the device at `path` raw (no echo, no line editing, no translation), keeping its
    // line settings. Fails when it is missing, not a terminal, or open elsewhere (flock and
    // TIOCEXCL).
    bool Open(const std::string& path) override;
    OpenError LastOpenError() const override;
    void Close() override;
    bool IsOpen() const override;
    int Handle() const override;

    bool IsLost() const override;
    bool CheckPresence() override;

    bool GetLineSettings(LineSettings& settings) const override;
    // Any baud rate the driver accepts works.
    bool SetLineSettings(const LineSettings& settings) override;

    bool Purge(unsigned flags) override;

    // Modem lines (TIOCMGET) and line errors (TIOCGICOUNT) are compared with their last
    // values at every wake. A thread of its own waits for modem-line changes (TIOCMIWAIT)
    // and wakes the wait; only where the driver cannot wait so are the lines looked at every
    // few milliseconds. Line errors arrive with input (a break, framing or parity error puts
    // a zero byte into it), which wakes the wait, so they need no period. An idle device
    // never wakes the waiting thread.
    WaitResult WaitEvent(const WaitRequest& request) override;

    bool ClearErrors(unsigned& errors, std::size_t& inputQueueCount) override;
    bool GetModemStatus(unsigned& status) const override;
    bool InputQueueBytes(std::size_t& count) const override;

    // A pseudo-terminal has no modem control lines: false.
    bool SetControlLine(ControlLine line, bool on) override;
    bool SetBreak(bool on) override;
    bool GetLineCounters(LineCounters& counters) const override;

    long Read(void* buffer, std::size_t size) override;
    long Write(const void* bytes, std::size_t size) override;

protected:
    // Makes the open descriptor of the terminal at `path` this device's, raw, as Open does;
    // `exclusive` locks it for this program alone. The descriptor is closed on failure.
    bool TakeDescriptor(int fd, const std::string& path, bool exclusive);
    void SetOpenError(const OpenError& error) { openError_ = error; }

private:
#ifdef _WIN32
    // Overlapped operations of the open port, with their events.
    struct Overlapped;
    // The event mask the port was last given (SetCommMask).
    unsigned long PortMaskFor(unsigned mask) const;
    bool StartCommWait();
    // `maskChanging`: the mask was just changed, which ends the wait with no event.
    unsigned FinishCommWait(bool maskChanging);
    bool WriteInFlight();
    unsigned OutputEmptyEvent(unsigned mask, bool outputQueued);
    bool QueueStatus(unsigned long& errors, std::size_t& inputBytes, std::size_t& outputBytes) const;
    // Marks the device lost when the system error says it has gone; sets errno, returns false.
    bool Failed(unsigned long error) const;
    void MarkLost() const;

    std::atomic<void*> handle_{reinterpret_cast<void*>(-1)};
    std::unique_ptr<Overlapped> io_;
    OpenError openError_;
    mutable std::atomic<bool> lost_{false};
    std::atomic<bool> outputInFlight_{false};
    // Held while the port is open, so that a second open fails even where the system lets it.
    void* portLock_ = nullptr;
    // Used by the waiting thread only.
    bool commWaitPending_ = false;
    // WaitCommEvent ended without an event although the mask was not changed: it cannot be
    // waited on, and the queues are looked at every few milliseconds instead.
    bool commWaitUseless_ = false;
    unsigned long portMask_ = 0;
    unsigned pendingEvents_ = 0;
    // Guards the write in flight (Write and the waiting thread) and the line error counts.
    mutable std::mutex mutex_;
    mutable LineCounters counters_;
#else
    struct LineErrorCounts {
        int frame = 0, overrun = 0, parity = 0, bufferOverrun = 0, breaks = 0;
    };

    bool ReadLineErrorCounts(LineErrorCounts& counts) const;
    static bool ReadLineErrorCountsOf(int fd, LineErrorCounts& counts);
    void TakeEventBaselines();
    bool NeedsLinePolling(unsigned mask) const;
    unsigned ModemLineEvents(unsigned mask);
    unsigned LineErrorEvents(unsigned mask);
    unsigned OutputEmptyEvent(unsigned mask, bool outputQueued);
    void StartModemWaiter();
    void StopModemWaiter();
    void WaitForModemChanges(int fd);
    // Marks the device lost when `error` says it has gone; returns false for the caller.
    bool Failed(int error) const;

    std::atomic<int> fd_{-1};
    std::atomic<bool> outputInFlight_{false};
    mutable std::atomic<bool> lost_{false};
    std::atomic<bool> lineCountsUnsupported_{false};
    OpenError openError_;
    // The node that was opened, to tell when it is removed or replaced.
    std::string path_;
    unsigned long long deviceNumber_ = 0;

    // Waits for modem-line changes; started by the waiting thread, stopped by Close.
    std::thread modemWaiter_;
    std::atomic<bool> modemWaitStop_{false};
    std::atomic<bool> modemWaitEnded_{false};
    std::atomic<bool> modemWaitUnsupported_{false};

    // Used by the waiting thread only.
    bool hungUp_ = false;
    bool modemLinesSupported_ = false;
    bool lineErrorsSupported_ = false;
    int lastModemLines_ = 0;
    LineErrorCounts lastEventCounts_;

    mutable std::mutex mutex_;  // guards what both threads use below
    LineErrorCounts lastClearedCounts_;
    LineErrorCounts openedCounts_;
#endif
};
