#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Device.h"
#include "serial/BackgroundOpening.h"
#include "serial/PendingWrites.h"
#include "platform/ReadAheadBuffer.h"
#include "serial/ReadPieceTimes.h"
#include "serial/ReceiveResponder.h"
#include "serial/PortNotifications.h"

// The serial port: opens a device by port name, sets it up, applies line settings, and runs a
// monitor thread that turns port events into notifications for its sink. The owner's thread
// (the window's) does everything else, including ReadReceived and Write.
//
// The monitor thread waits with poll on the device and a wake-up descriptor, so Close always
// ends it at once and joins it. While a sink is set it reads the device ahead of the owner into
// a buffer of kReadAheadSize bytes, in pieces as large as the device gives, and announces one
// receive notification for every kReceiveReadSize bytes that buffer holds; ReadReceived copies
// from it. A full buffer is not refilled (the device is not watched, so waiting input cannot
// make the thread spin, and the sender is held back) until the owner has emptied half of it.
// Bytes a read leaves that no outstanding notification covers are announced again.
// Output the device cannot take at once waits in a bounded queue that the monitor thread writes
// out as the device drains.
//
// A device that goes away is announced with WM_COMM_LOST, once, after the notifications of the
// bytes it still held; the monitor thread then ends.
//
// A device whose opening may wait (a network port) can be opened on a thread of its own
// (BeginOpening), so that the owner's thread never blocks on it.
//
// A class deriving from this one must call Close in its own destructor, since the monitor
// thread calls its virtual operations.
// What a port has seen since it was opened.
struct PortStatistics {
    std::uint64_t received = 0;  // bytes read by the owner
    std::uint64_t sent = 0;      // bytes the device took
    std::uint64_t dropped = 0;   // bytes dropped from the pending-write queue
    bool lineCountersKnown = false;  // false where the driver keeps no counts
    LineCounters line;
};

class PortEngine {
public:
    static constexpr unsigned kEventMask =
        EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING | EV_PASSED_ON;
    static constexpr std::size_t kQueueSize = 4096;
    // The owner reads at most this many bytes per receive notification; the monitor thread
    // announces one notification for every such share of the bytes waiting.
    static constexpr std::size_t kReceiveReadSize = 1024;
    // Bytes the monitor thread reads ahead of the owner at most.
    static constexpr std::size_t kReadAheadSize = 64 * 1024;

    PortEngine();
    virtual ~PortEngine();
    PortEngine(const PortEngine&) = delete;
    PortEngine& operator=(const PortEngine&) = delete;

    virtual void Close();
    virtual bool Open();
    virtual bool Setup();
    // Applies a settings text (see BuildLineSettings); refused text or settings the device
    // will not take give false, and the port keeps the settings it had.
    bool SetState(const std::string& settings);

    // Open, Setup and SetState(settings) in turn, stopping at the first that fails, on a thread
    // of their own when the device's opening may wait (a network port connects and negotiates
    // for up to 3 s). Returns false, having done nothing, for a device that opens at once.
    // Otherwise the engine stays closed and Opening() holds until WM_COMM_OPENED says the steps
    // have ended; FinishOpening then makes the port open with their outcome. Close, or the next
    // opening, ends an opening in progress at once.
    bool BeginOpening(const std::string& settings);
    bool Opening() const;
    // After WM_COMM_OPENED: what the steps did, the port open as Open leaves it when they
    // opened the device; nullopt while they go on, or when there are none (ended, or taken).
    std::optional<OpenSteps> FinishOpening();
    // Ends an opening in progress at once; an open port stays open.
    void CancelOpening();

    bool IsOpen() const;
    // The open device has gone (WM_COMM_LOST is or was posted for it).
    bool IsLost() const;

    void SetPortNumber(int number);
    int PortNumber() const;
    // "\\.\COMn"; kept to 19 bytes.
    void SetDeviceName(const std::string& name);
    const std::string& DeviceName() const;
    // Settings file whose [Ports] section maps port names to devices.
    void SetPortMapFile(const std::string& configPath);
    // Makes the device for the resolved target at each Open; CreateDevice by default.
    void SetDeviceFactory(DeviceFactory factory);
    // The target the last Open resolved the device name to ("" when the name has none), and
    // why that Open failed.
    const std::string& Target() const;
    OpenError LastOpenError() const;
    // Receiver of the notifications; null for none. Once this returns the previous sink is
    // no longer used, so it may go. Setting a sink lets bytes already waiting be announced.
    // A sink is called on the monitor thread and must never wait for the owner's thread.
    void SetNotificationSink(NotificationSink* sink);
    // Answers input on the monitor thread as it is read, before any notification of it (not
    // input read with line errors, which the owner's next read discards); the replies are
    // written as Write writes. Null for none. Once this returns the previous
    // responder is no longer used, so it may go.
    void SetReceiveResponder(ReceiveResponder* responder);

    // Reads at most `capacity` waiting bytes. When the port reported line errors its input (the
    // device's and what was read ahead) is discarded and 0 is returned. Bytes still waiting
    // afterwards get a new WM_COMM_RXCHAR.
    std::size_t ReadReceived(unsigned char* buffer, std::size_t capacity);
    // The same, and tells in `pieces` (emptied first) how the bytes given split into the
    // pieces they were read from the device in, each with the read-clock's time of its read.
    std::size_t ReadReceived(unsigned char* buffer, std::size_t capacity, std::vector<ReceivedPiece>& pieces);
    // The clock that stamps each piece read from the device (the system's by default); it is
    // called on the monitor thread, and must stay until Close or another clock is set.
    void SetReadClock(const Clock& clock);
    // Bytes read from the device ahead of the owner and not yet given by ReadReceived.
    std::size_t ReadAheadBytes() const;
    // Hands bytes to the port without ever blocking: line errors first discard pending
    // output; what the device does not take at once is written in order as it drains, each
    // write within its time-out (from Setup: 1 ms per byte + 1000 ms). At most
    // PendingWrites::kDefaultCapacity bytes wait; a write beyond that is dropped and counted.
    void Write(const unsigned char* bytes, std::size_t count);

    std::size_t PendingWriteBytes() const;
    std::uint64_t DroppedWriteBytes() const;
    // How many times the monitor thread has waited for the device since Open.
    std::uint64_t MonitorWakeCount() const;

    PortStatistics Statistics() const;
    // Modem-status bits (MS_); false when closed or the device has no modem lines.
    bool GetModemStatus(unsigned& status) const;
    // The device's line settings now (a virtual port's: what the program at its other end set);
    // false when closed.
    bool GetLineSettings(LineSettings& settings) const;
    // A monitored port: the bytes the program at its virtual end wrote and the port passed on to
    // its device, after WM_COMM_PASSED_ON; they must be taken, or the program's flow stops.
    std::size_t ReadPassedOn(unsigned char* buffer, std::size_t capacity);
    // Raise or drop DTR and RTS; false when closed or the device has no such line.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    // Starts a break of `duration` that the monitor thread ends; never waits.
    bool SendBreak(std::chrono::milliseconds duration);
    // Whether the open device is still the one opened; when it is not, WM_COMM_LOST follows.
    bool CheckDevice();

    // Notification operations, called on the monitor thread.
    virtual void OnReceive();
    virtual void OnDSR();
    virtual void OnCTS();
    virtual void OnBreak();
    virtual void OnTXEmpty();
    virtual void OnError();
    virtual void OnRing();
    virtual void OnRLSD();
    virtual void OnPassedOn();
    virtual void OnLost();
    virtual unsigned ThreadFunc();
    static unsigned ThreadEntry(PortEngine* engine);

protected:
    // Calls the notification operation of every event bit in the word, in bit order.
    void DispatchEvents(unsigned eventWord);
    // Posts to the sink when there is one and it is alive; returns whether it did.
    bool Notify(unsigned message, long lParam);
    // Posts whether the modem-status bit is on; nothing when the status cannot be read.
    void NotifyModemLine(unsigned message, unsigned statusBit);

    // Made at Open; used by the monitor thread only between Open and Close.
    std::unique_ptr<Device> device_;
    unsigned eventMask_ = kEventMask;

private:
    // Queue sizes, time-outs and the settings text as Setup and SetState apply them.
    static bool SetUpDevice(Device& device);
    static bool ApplySettings(Device& device, const std::string& settings);
    bool StartMonitor();
    // Reads what the device holds into the read-ahead buffer as far as it has room (when `read`)
    // and posts receive notifications until the outstanding ones cover the buffered bytes; an
    // input event with none outstanding posts at least one. Returns the bytes read.
    std::size_t ReceiveInput(bool read, bool inputEvent);
    // The reading part of ReceiveInput; notes line errors for the owner's next read. Returns
    // the bytes read and the notifications counted for posting.
    std::pair<std::size_t, int> ReadAhead(bool read, bool inputEvent);
    void PostReceives(int count);
    // Gives bytes just read to the responder, keeping its reply for SendReply.
    void AskResponder(const unsigned char* bytes, std::size_t count);
    void SendReply();
    // Whether the device may be read ahead now: not once the buffer is full, until half of it
    // is free again.
    bool ReadAheadAllowed();
    // After a loss: reads the bytes the device still held, announcing them. False while some
    // of them wait for room in the buffer.
    bool ReadLeftAfterLoss();
    // After the owner's read: wakes the monitor thread when buffered bytes lack a notification
    // or the read-ahead may resume.
    void HandInputBack(bool uncovered);
    bool HasLiveSink();
    // Tells the receiver of a loss no receiver has heard of yet; sinkMutex_ is held.
    void AnnounceLossLocked();
    bool Purge(unsigned flags);
    // ReadReceived; the pieces the bytes were read in are appended to `pieces` unless it is null.
    std::size_t TakeReceived(unsigned char* buffer, std::size_t capacity, std::vector<ReceivedPiece>* pieces);
    void ReportEventMaskFailure(int line, int error);
    WaitRequest NextWaitRequest();
    void WritePendingOutput();
    void EndBreakWhenDue();
    // Wakes the monitor thread when the owner's thread found the device gone.
    void NoticeLoss();
    // Purges the input if line errors were noted since the last read; says whether it did.
    bool DiscardInputReadWithLineErrors();
    // Purges the device's input and the read-ahead; the caller holds inputMutex_.
    bool DiscardInput(unsigned flags);
    void ResumeReadAhead();
    std::chrono::milliseconds WriteTimeout(std::size_t count) const;

    std::atomic<int> portNumber_{0};
    std::string deviceName_;
    std::string portMapFile_;
    DeviceFactory deviceFactory_ = CreateDevice;
    std::string target_;
    OpenError openError_;
    std::mutex sinkMutex_;  // held while the sink is in use, so replacing it waits for that
    NotificationSink* sink_ = nullptr;
    std::atomic<bool> running_{false};
    std::atomic<bool> receiveCheckRequested_{false};
    ReadAheadBuffer input_{kReadAheadSize};
    // Held by the monitor thread while it reads into input_ and by a purge of the input, so a
    // purge discards every byte read before it and none after.
    std::mutex inputMutex_;
    // Pairs the bytes in input_ with the notifications that announce them: bytes are added
    // together with their notifications and taken together with one, so neither thread sees
    // bytes the other has not accounted for yet.
    std::mutex receiveMutex_;
    int receivesOutstanding_ = 0;  // guarded by receiveMutex_: receive notifications not yet read
    ReadPieceTimes inputTimes_;    // guarded by receiveMutex_: when the bytes in input_ were read
    std::atomic<const Clock*> readClock_;
    std::mutex responderMutex_;  // held while the responder is in use, so replacing it waits for that
    ReceiveResponder* responder_ = nullptr;  // guarded by responderMutex_
    std::string reply_;  // monitor thread only: what the responder answered and is not yet written
    std::atomic<bool> readAheadPaused_{false};
    std::atomic<unsigned> inputErrors_{0};  // line errors (CE_) the owner's next read acts on
    unsigned unreportedErrors_ = 0;         // monitor thread only: line errors for OnError
    std::optional<std::size_t> unreadAtLoss_;  // monitor thread only: bytes a gone device still holds
    bool receivePosted_ = false;  // monitor thread only: whether the last OnReceive reached a receiver
    bool lossUnannounced_ = false;  // guarded by sinkMutex_: the device was lost and no receiver heard of it
    std::atomic<std::uint64_t> wakeCount_{0};
    std::atomic<std::uint64_t> receivedBytes_{0};
    std::atomic<std::uint64_t> sentBytes_{0};
    std::uint64_t droppedAtOpen_ = 0;  // guarded by outputMutex_
    // When the break in progress ends, in steady-clock ticks; 0 when none is.
    std::atomic<std::chrono::steady_clock::rep> breakEnd_{0};
    std::thread monitor_;
    std::unique_ptr<BackgroundOpening> opening_;

    mutable std::mutex outputMutex_;  // guards pendingOutput_ and the order of device writes
    PendingWrites pendingOutput_;
};
