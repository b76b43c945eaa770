#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

#include "platform/LineSettings.h"
#include "platform/NetworkTarget.h"
#include "platform/PolledDevice.h"
#include "platform/Signal.h"
#include "platform/Socket.h"
#include "platform/TcpConnector.h"
#include "platform/TelnetComPort.h"

// A serial port on a server across the network, with the operations and guarantees of every
// device: "rfc2217://HOST:PORT" speaks Telnet with the COM-PORT option, so line
// settings, control lines, modem lines, line errors and purges reach the server's device;
// "tcp://HOST:PORT" carries the data only, unchanged. Never blocking: reads and writes take
// what is there at once. One thread may wait for events (WaitEvent) while another reads,
// writes, purges, clears errors and changes settings; Open and Close must not run while a
// wait is in progress.
//
// Open blocks its caller while it connects and negotiates, within the open time-out (3 s),
// and CancelOpen from another thread ends it at once (and a SetLineSettings waiting for answers,
// until Close). SetLineSettings waits for the server's answers within the answer time-out. A
// connection the server closes or resets shows as a hang-up in the wait result, and the
// device is lost from then on. Memory stays bounded whatever the server sends: input beyond
// kInputCapacity waits in the connection (TCP holds the server back) and output beyond
// kOutputCapacity is not taken.
class NetworkDevice : public PolledDevice {
public:
    static constexpr std::chrono::milliseconds kOpenTimeout{3000};
    static constexpr std::chrono::milliseconds kAnswerTimeout{1000};
    static constexpr std::size_t kInputCapacity = 64 * 1024;
    static constexpr std::size_t kOutputCapacity = 16 * 1024;

    explicit NetworkDevice(NameResolver resolver = ResolveWithSystem);
    ~NetworkDevice() override;

    // Connects to a network port (see ParseNetworkTarget). On rfc2217:// it negotiates BINARY
    // both ways, SUPPRESS-GO-AHEAD and COM-PORT-OPTION and learns the server's line settings;
    // a server that refuses the COM-PORT option still opens (its data flows, its settings
    // fail). Fails with errno set and LastOpenError / FailureReason saying why.
    bool Open(const std::string& target) override;
    OpenError LastOpenError() const override;
    // What went wrong, in English, naming the address.
    const std::string& FailureReason() const;
    void CancelOpen() override;
    void SetOpenTimeout(std::chrono::milliseconds timeout);
    void SetAnswerTimeout(std::chrono::milliseconds timeout);

    void Close() override;
    bool IsOpen() const override;
    int Handle() const override;
    NetworkProtocol Protocol() const;

    // The connection closed or reset.
    bool IsLost() const override;
    // There is no node to look at: only a connection that has gone is not there.
    bool CheckPresence() override;

    // The settings last applied (on rfc2217:// first those the server reported at Open).
    bool GetLineSettings(LineSettings& settings) const override;
    // rfc2217://: sends the settings (DTR and RTS first, then baud rate, data size, parity,
    // stop size and flow control) and waits for the answers, reading past input that the
    // full input queue cannot take (dropped, and reported as CE_RXOVER, as a device's input
    // overflow is); when the server refuses any, answers otherwise, does not answer in time or
    // refused the COM-PORT option, the former settings are sent back and false is returned
    // (within one answer time-out from a server that answers nothing, two from one that
    // refuses or leaves a request unanswered). Servers whose device has no modem lines leave
    // DTR and RTS unanswered, which is taken as done. tcp://: the settings are kept and go
    // nowhere.
    bool SetLineSettings(const LineSettings& settings) override;

    // Discards local queues and asks the server to discard its own (PURGE-DATA).
    bool Purge(unsigned flags) override;

    // Waits until an event of the mask, output room (when asked), the time-out, a WakeWait or
    // a change of the mask. Modem-line and line-error events come from the server's
    // notifications. A closed or reset connection gives hungUp.
    WaitResult WaitEvent(const WaitRequest& request) override;

    // Returns and clears the line errors (CE_ bits) since the last call, CE_RXOVER when input
    // had to be dropped, and gives the input queue's byte count.
    bool ClearErrors(unsigned& errors, std::size_t& inputQueueCount) override;
    // The modem lines of the server's last notification; fails (ENOTTY) on tcp:// and when
    // the server refused the COM-PORT option.
    bool GetModemStatus(unsigned& status) const override;
    bool InputQueueBytes(std::size_t& count) const override;

    // Bytes read, 0 when none wait, -1 on failure (the connection has gone and nothing waits).
    long Read(void* buffer, std::size_t size) override;
    // Bytes taken (0 when the queue is full or the server asked for a pause), -1 on failure.
    long Write(const void* bytes, std::size_t size) override;

    // Control lines and break on the server's device; the server's answer is not awaited.
    // Fail (ENOTTY) on tcp:// and when the server refused the COM-PORT option.
    bool SetControlLine(ControlLine line, bool on) override;
    bool SetBreak(bool on) override;
    // The server keeps no counts it would tell: false.
    bool GetLineCounters(LineCounters& counters) const override;

private:
    using Clock = std::chrono::steady_clock;

    // Bytes taken from the front and added at the back without moving them each time.
    class ByteQueue {
    public:
        std::size_t Size() const;
        void Append(const char* bytes, std::size_t count);
        std::size_t Take(void* out, std::size_t count);
        const char* Front() const;
        void Drop(std::size_t count);
        void Clear();

    private:
        std::string bytes_;
        std::size_t head_ = 0;
    };

    bool Fail(NetworkFailure failure, std::string reason, int error);
    void CloseConnection();
    bool Negotiate(Clock::time_point deadline, const std::string& where);
    void LearnServerSettings(Clock::time_point deadline);
    // Unanswered: not one answer came in time.
    enum class SettingsOutcome { Taken, Refused, Unanswered };
    // Sends the settings and, when asked, waits for the answers.
    SettingsOutcome SendSettings(const LineSettings& settings, unsigned char outboundFlow, bool awaitAnswers);
    // With `readThrough` the answers are looked for behind a full input queue, and what does
    // not fit is dropped as an overrun.
    bool AwaitAnswers(Clock::time_point deadline, bool readThrough);
    // Waits until `done` (checked under the lock) holds, moving bytes both ways meanwhile;
    // false on time-out, hang-up or cancel.
    bool WaitForServer(Clock::time_point deadline, bool readThrough, const std::function<bool()>& done);
    bool SendControl(unsigned char value);
    bool ComPortAvailable() const;

    // The rest run with mutex_ held.
    bool ReadFromServer(bool readThrough, bool wakeWaiter);
    void StoreInput(const char* bytes, std::size_t count);
    void SendToServer();
    bool HasOutputToSend() const;
    bool OutputDrained() const;
    unsigned TakeReadyEvents(const WaitRequest& request, unsigned mask, WaitResult& result);

    TcpConnector connector_;
    std::atomic<bool> open_{false};
    Signal answer_;  // raised when bytes arrive while SetLineSettings waits
    NetworkProtocol protocol_ = NetworkProtocol::RawTcp;
    std::chrono::milliseconds openTimeout_ = kOpenTimeout;
    std::chrono::milliseconds answerTimeout_ = kAnswerTimeout;
    OpenError openError_;
    std::string failureReason_;

    std::atomic<bool> hungUp_{false};
    std::atomic<bool> outputInFlight_{false};
    std::atomic<bool> awaitingAnswers_{false};

    mutable std::mutex mutex_;  // guards what follows and every read and write on the socket
    Socket socket_;             // waited on without the lock; replaced only by Open and Close
    TelnetComPort telnet_;
    ByteQueue input_;
    bool inputOverrun_ = false;
    std::string received_;     // data of the last read from the server
    ByteQueue output_;         // data not yet handed to the connection
    std::string staging_;      // bytes handed over in part; what follows waits for the rest
    std::size_t stagingSent_ = 0;
    LineSettings settings_;
};
