#include "platform/NetworkDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kLinePollPeriodMs = 20;
constexpr std::size_t kReceiveChunk = 16 * 1024;
constexpr std::size_t kSendChunk = 4096;

OpenFailure OpenFailureOf(NetworkFailure failure)
{
    switch (failure) {
    case NetworkFailure::None: return OpenFailure::None;
    case NetworkFailure::BadTarget: return OpenFailure::BadAddress;
    case NetworkFailure::NameNotResolved: return OpenFailure::NameNotResolved;
    case NetworkFailure::Refused: return OpenFailure::Refused;
    case NetworkFailure::TimedOut: return OpenFailure::TimedOut;
    case NetworkFailure::Unreachable: return OpenFailure::Unreachable;
    case NetworkFailure::Closed: return OpenFailure::ConnectionClosed;
    case NetworkFailure::NoTelnet: return OpenFailure::NoTelnet;
    case NetworkFailure::BinaryRefused: return OpenFailure::BinaryRefused;
    case NetworkFailure::Cancelled: return OpenFailure::Cancelled;
    case NetworkFailure::System: break;
    }
    return OpenFailure::Other;
}

int ErrnoOf(NetworkFailure failure)
{
    switch (failure) {
    case NetworkFailure::BadTarget: return EINVAL;
    case NetworkFailure::NameNotResolved: return EHOSTUNREACH;
    case NetworkFailure::Refused: return ECONNREFUSED;
    case NetworkFailure::TimedOut: case NetworkFailure::NoTelnet: return ETIMEDOUT;
    case NetworkFailure::Unreachable: return ENETUNREACH;
    case NetworkFailure::Closed: return ECONNRESET;
    case NetworkFailure::BinaryRefused: return EPROTO;
    case NetworkFailure::Cancelled: return ECANCELED;
    default: return EIO;
    }
}

std::string Seconds(std::chrono::milliseconds duration)
{
    const auto tenths = (duration.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0;
}

// The outbound flow control of the settings as one SET-CONTROL value; the server can do only
// one kind at a time.
bool OutboundFlowOf(const LineSettings& line, unsigned char& value)
{
    const bool hardware = line.ctsHandshake || line.rts == LineControl::Handshake;
    if (hardware && line.xonXoff) {
        return false;
    }
    value = hardware ? telnet::CONTROL_HARDWARE_FLOW : line.xonXoff ? telnet::CONTROL_XON_XOFF_FLOW : telnet::CONTROL_NO_FLOW;
    return true;
}

}  // namespace

std::size_t NetworkDevice::ByteQueue::Size() const { return bytes_.size() - head_; }

void NetworkDevice::ByteQueue::Append(const char* bytes, std::size_t count)
{
    if (head_ > 0 && head_ >= bytes_.size() / 2) {
        bytes_.erase(0, head_);
        head_ = 0;
    }
    bytes_.append(bytes, count);
}

std::size_t NetworkDevice::ByteQueue::Take(void* out, std::size_t count)
{
    count = std::min(count, Size());
    std::memcpy(out, bytes_.data() + head_, count);
    Drop(count);
    return count;
}

const char* NetworkDevice::ByteQueue::Front() const { return bytes_.data() + head_; }

void NetworkDevice::ByteQueue::Drop(std::size_t count)
{
    head_ += std::min(count, Size());
    if (head_ == bytes_.size()) {
        Clear();
    }
}

void NetworkDevice::ByteQueue::Clear()
{
    bytes_.clear();
    head_ = 0;
}

NetworkDevice::NetworkDevice(NameResolver resolver) : connector_(std::move(resolver)) {}

NetworkDevice::~NetworkDevice() { Close(); }

bool NetworkDevice::Fail(NetworkFailure failure, std::string reason, int error)
{
    CloseConnection();
    openError_ = {OpenFailureOf(failure), error};
    failureReason_ = std::move(reason);
    errno = error;
    return false;
}

bool NetworkDevice::Open(const std::string& target)
{
    CloseConnection();
    openError_ = {};
    failureReason_.clear();
    NetworkTarget parsed;
    std::string why;
    if (!ParseNetworkTarget(target, parsed, why)) {
        return Fail(NetworkFailure::BadTarget, target + ": " + why, EINVAL);
    }
    const Clock::time_point deadline = Clock::now() + openTimeout_;
    ConnectResult connection = connector_.Connect(parsed.host, parsed.port, deadline);
    if (connection.failure != NetworkFailure::None) {
        return Fail(connection.failure, connection.reason, ErrnoOf(connection.failure));
    }
    socket_ = std::move(connection.socket);
    open_ = true;
    if (!OpenWakeUps() || !answer_.Valid()) {
        return Fail(NetworkFailure::System, std::string("no event to wait on: ") + std::strerror(errno), errno);
    }
    answer_.Lower();
    protocol_ = parsed.protocol;
    hungUp_ = false;
    outputInFlight_ = false;
    {
        std::lock_guard lock(mutex_);
        telnet_ = TelnetComPort();
        input_.Clear();
        inputOverrun_ = false;
        output_.Clear();
        staging_.clear();
        stagingSent_ = 0;
        settings_ = LineSettings();
    }
    const std::string where = target.substr(target.find("://") + 3);
    if (protocol_ == NetworkProtocol::Rfc2217 && !Negotiate(deadline, where)) {
        return false;
    }
    return true;
}

bool NetworkDevice::Negotiate(Clock::time_point deadline, const std::string& where)
{
    {
        std::lock_guard lock(mutex_);
        telnet_.Start();
        SendToServer();
    }
    if (!WaitForServer(deadline, false, [this] { return telnet_.NegotiationAnswered(); })) {
        if (connector_.Cancelled()) {
            return Fail(NetworkFailure::Cancelled, "cancelled", ECANCELED);
        }
        if (hungUp_) {
            return Fail(NetworkFailure::Closed, where + " closed the connection during the Telnet negotiation",
                        ECONNRESET);
        }
        return Fail(NetworkFailure::NoTelnet,
                    where + " gave no Telnet answer within " + Seconds(openTimeout_) + " (not an RFC 2217 server?)",
                    ETIMEDOUT);
    }
    bool comPort = false;
    {
        std::lock_guard lock(mutex_);
        if (telnet_.BinaryAnswer() == OptionAnswer::Refused) {
            return Fail(NetworkFailure::BinaryRefused, where + " refuses 8-bit data (Telnet BINARY)", EPROTO);
        }
        comPort = telnet_.ComPortAnswer() == OptionAnswer::Accepted;
    }
    if (comPort) {
        LearnServerSettings(deadline);
    }
    return true;
}

// Asks for the settings in use, so that a settings text naming only some fields changes only
// those. A server that does not answer in time leaves the defaults.
void NetworkDevice::LearnServerSettings(Clock::time_point deadline)
{
    {
        std::lock_guard lock(mutex_);
        telnet_.RequestStateMasks(telnet::LINESTATE_ERRORS, telnet::MODEMSTATE_ALL);
        telnet_.RequestCurrentSettings();
        SendToServer();
    }
    // Nothing reads the input yet, so none of it is dropped to find the answers.
    AwaitAnswers(std::min(deadline, Clock::now() + answerTimeout_), false);
    std::lock_guard lock(mutex_);
    const TelnetComPort::ReportedSettings& reported = telnet_.Reported();
    settings_.baudRate = reported.baudKnown ? reported.baudRate : settings_.baudRate;
    settings_.dataBits = reported.dataBitsKnown ? reported.dataBits : settings_.dataBits;
    settings_.parity = reported.parityKnown ? reported.parity : settings_.parity;
    settings_.stopBits = reported.stopBitsKnown ? reported.stopBits : settings_.stopBits;
    if (reported.flowKnown) {
        settings_.xonXoff = reported.outboundFlow == telnet::CONTROL_XON_XOFF_FLOW;
        settings_.ctsHandshake = reported.outboundFlow == telnet::CONTROL_HARDWARE_FLOW;
    }
    telnet_.ForgetRequests();
}

OpenError NetworkDevice::LastOpenError() const { return openError_; }

const std::string& NetworkDevice::FailureReason() const { return failureReason_; }

void NetworkDevice::CancelOpen() { connector_.Cancel(); }

void NetworkDevice::SetOpenTimeout(std::chrono::milliseconds timeout) { openTimeout_ = timeout; }

void NetworkDevice::SetAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }

void NetworkDevice::CloseConnection()
{
    open_ = false;
    socket_.Close();
    CloseWakeUps();
}

void NetworkDevice::Close()
{
    CloseConnection();
    connector_.Reset();
}

bool NetworkDevice::IsOpen() const { return open_; }

int NetworkDevice::Handle() const { return open_ ? socket_.Id() : -1; }

NetworkProtocol NetworkDevice::Protocol() const { return protocol_; }

bool NetworkDevice::IsLost() const { return IsOpen() && hungUp_; }

bool NetworkDevice::CheckPresence() { return !IsLost(); }

bool NetworkDevice::GetLineCounters(LineCounters&) const { return false; }

bool NetworkDevice::GetLineSettings(LineSettings& settings) const
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(mutex_);
    settings = settings_;
    return true;
}

bool NetworkDevice::ComPortAvailable() const
{
    return protocol_ == NetworkProtocol::Rfc2217 && telnet_.ComPortAnswer() == OptionAnswer::Accepted;
}

bool NetworkDevice::SetLineSettings(const LineSettings& line)
{
    unsigned char outboundFlow = telnet::CONTROL_NO_FLOW;
    if (!IsOpen() || !LineSettingsConsistent(line) || !OutboundFlowOf(line, outboundFlow)) {
        errno = IsOpen() ? EINVAL : EBADF;
        return false;
    }
    if (protocol_ == NetworkProtocol::RawTcp) {
        std::lock_guard lock(mutex_);
        settings_ = line;
        return true;
    }
    LineSettings previous;
    {
        std::lock_guard lock(mutex_);
        if (!ComPortAvailable()) {
            errno = EOPNOTSUPP;
            return false;
        }
        previous = settings_;
    }
    const SettingsOutcome outcome = SendSettings(line, outboundFlow, true);
    if (outcome == SettingsOutcome::Taken) {
        std::lock_guard lock(mutex_);
        settings_ = line;
        return true;
    }
    const int error = hungUp_ ? EPIPE : EIO;
    // The former settings go back. Their answers are awaited from a server that answers at all,
    // so that the device is as it was on return and no late answer is taken for the answer to
    // a later request.
    unsigned char previousFlow = telnet::CONTROL_NO_FLOW;
    OutboundFlowOf(previous, previousFlow);
    SendSettings(previous, previousFlow, outcome == SettingsOutcome::Refused);
    errno = error;
    return false;
}

NetworkDevice::SettingsOutcome NetworkDevice::SendSettings(const LineSettings& line, unsigned char outboundFlow,
                                                           bool awaitAnswers)
{
    std::size_t requested = 0;
    {
        std::lock_guard lock(mutex_);
        telnet_.ForgetRequests();
        // DTR and RTS go first: a server answers in order, so their answers, when it gives
        // any, come before the last awaited one.
        if (line.dtr == LineControl::On || line.dtr == LineControl::Off) {
            const bool on = line.dtr == LineControl::On;
            telnet_.RequestControl(on ? telnet::CONTROL_DTR_ON : telnet::CONTROL_DTR_OFF, TelnetComPort::Answer::Optional);
        }
        if (line.rts == LineControl::On || line.rts == LineControl::Off) {
            const bool on = line.rts == LineControl::On;
            telnet_.RequestControl(on ? telnet::CONTROL_RTS_ON : telnet::CONTROL_RTS_OFF, TelnetComPort::Answer::Optional);
        }
        telnet_.RequestBaudRate(line.baudRate);
        telnet_.RequestDataSize(line.dataBits);
        telnet_.RequestParity(line.parity);
        telnet_.RequestStopSize(line.stopBits);
        telnet_.RequestControl(outboundFlow, TelnetComPort::Answer::Required);
        requested = telnet_.UnansweredRequests();
        SendToServer();
    }
    if (awaitAnswers) {
        AwaitAnswers(Clock::now() + answerTimeout_, true);
    }
    std::lock_guard lock(mutex_);
    const std::size_t unanswered = telnet_.UnansweredRequests();
    SettingsOutcome outcome = SettingsOutcome::Taken;
    if (unanswered == requested && !telnet_.Refused()) {
        outcome = SettingsOutcome::Unanswered;
    } else if (unanswered != 0 || telnet_.Refused()) {
        outcome = SettingsOutcome::Refused;  // some came; a server may refuse by leaving one out
    }
    telnet_.ForgetRequests();
    return outcome;
}

bool NetworkDevice::AwaitAnswers(Clock::time_point deadline, bool readThrough)
{
    awaitingAnswers_ = true;
    const bool answered = WaitForServer(deadline, readThrough, [this] {
        return telnet_.Refused() || telnet_.UnansweredRequests() == 0;
    });
    awaitingAnswers_ = false;
    return answered;
}

bool NetworkDevice::WaitForServer(Clock::time_point deadline, bool readThrough, const std::function<bool()>& done)
{
    while (true) {
        bool read = false;
        bool write = false;
        {
            std::lock_guard lock(mutex_);
            if (done()) {
                return true;
            }
            if (hungUp_) {
                return false;
            }
            read = readThrough || input_.Size() < kInputCapacity;
            write = HasOutputToSend();
        }
        const int timeout = MillisecondsUntil(deadline);
        if (connector_.Cancelled() || timeout == 0) {
            return false;
        }
        const Readiness ready = socket_.Wait(read, write, {answer_.Native(), connector_.CancelSignal()}, timeout);
        if ((ready.signals & 1u) != 0) {
            answer_.Lower();
        }
        if (ready.socket) {
            std::lock_guard lock(mutex_);
            ReadFromServer(readThrough, true);
            SendToServer();
            // The socket's wake-up may have been meant for the thread in WaitEvent.
            WakeWait();
        }
    }
}

bool NetworkDevice::SendControl(unsigned char value)
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (hungUp_) {
        errno = EPIPE;
        return false;
    }
    std::lock_guard lock(mutex_);
    if (!ComPortAvailable()) {
        errno = ENOTTY;
        return false;
    }
    telnet_.RequestControl(value, TelnetComPort::Answer::Ignored);
    SendToServer();
    return true;
}

bool NetworkDevice::SetControlLine(ControlLine line, bool on)
{
    if (line == ControlLine::Dtr) {
        return SendControl(on ? telnet::CONTROL_DTR_ON : telnet::CONTROL_DTR_OFF);
    }
    return SendControl(on ? telnet::CONTROL_RTS_ON : telnet::CONTROL_RTS_OFF);
}

bool NetworkDevice::SetBreak(bool on) { return SendControl(on ? telnet::CONTROL_BREAK_ON : telnet::CONTROL_BREAK_OFF); }

bool NetworkDevice::Purge(unsigned flags)
{
    if (!IsOpen() || (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0) {
        errno = IsOpen() ? EINVAL : EBADF;
        return false;
    }
    const bool clearInput = (flags & PURGE_RXCLEAR) != 0;
    const bool clearOutput = (flags & PURGE_TXCLEAR) != 0;
    if (!clearInput && !clearOutput) {
        return true;
    }
    std::lock_guard lock(mutex_);
    if (clearInput) {
        // What has already arrived goes too, as a device's input queue would.
        ReadFromServer(false, false);
        input_.Clear();
        inputOverrun_ = false;
    }
    if (clearOutput) {
        output_.Clear();
    }
    if (ComPortAvailable()) {
        telnet_.RequestPurge(clearInput && clearOutput ? telnet::PURGE_BOTH
                             : clearInput              ? telnet::PURGE_FROM_DEVICE
                                                       : telnet::PURGE_TO_DEVICE);
        SendToServer();
    }
    return true;
}

WaitResult NetworkDevice::WaitEvent(const WaitRequest& request)
{
    WaitResult result;
    if (!open_) {
        result.hungUp = true;
        return result;
    }
    if (TakeMaskChange()) {
        std::lock_guard lock(mutex_);
        telnet_.TakeEvents();
    }
    const unsigned mask = EventMask();
    int timeout = request.timeoutMs;
    if ((mask & EV_TXEMPTY) != 0 && outputInFlight_ && (timeout < 0 || timeout > kLinePollPeriodMs)) {
        timeout = kLinePollPeriodMs;
    }
    bool read = false;
    bool write = false;
    {
        std::lock_guard lock(mutex_);
        SendToServer();
        if (TakeReadyEvents(request, mask, result) != 0 || result.outputRoom) {
            timeout = 0;
        }
        // A connection that has gone, or a full input queue, is not watched: it would report
        // itself at once, again and again.
        read = !hungUp_ && input_.Size() < kInputCapacity;
        write = !hungUp_ && HasOutputToSend();
    }
    const Readiness ready = socket_.Wait(read, write, {WakeSignal()}, timeout);
    if ((ready.signals & 1u) != 0) {
        DrainWakeUps();
    }
    if (ready.socket) {
        std::lock_guard lock(mutex_);
        ReadFromServer(false, false);
        SendToServer();
        // The socket's wake-up may have been meant for a SetLineSettings awaiting answers.
        if (awaitingAnswers_) {
            answer_.Raise();
        }
    }
    std::lock_guard lock(mutex_);
    TakeReadyEvents(request, mask, result);
    result.hungUp = hungUp_;
    return result;
}

// Adds to `result` what is ready now, without waiting; returns the event word.
unsigned NetworkDevice::TakeReadyEvents(const WaitRequest& request, unsigned mask, WaitResult& result)
{
    if (request.watchInput && (mask & EV_RXCHAR) != 0 && input_.Size() > 0) {
        result.events |= EV_RXCHAR;
    }
    result.events |= telnet_.TakeEvents() & mask;
    if (request.watchOutputRoom && (hungUp_ || output_.Size() < kOutputCapacity)) {
        result.outputRoom = true;
    }
    if ((mask & EV_TXEMPTY) != 0 && !request.outputQueued && outputInFlight_ && OutputDrained()) {
        outputInFlight_ = false;
        result.events |= EV_TXEMPTY;
    }
    result.events &= mask;
    return result.events;
}

bool NetworkDevice::OutputDrained() const
{
    return output_.Size() == 0 && stagingSent_ == staging_.size() && !telnet_.HasOutput() &&
           (hungUp_ || socket_.Drained());
}

bool NetworkDevice::ReadFromServer(bool readThrough, bool wakeWaiter)
{
    const std::size_t room = kInputCapacity - std::min(input_.Size(), kInputCapacity);
    if (!socket_.IsOpen() || hungUp_ || (room == 0 && !readThrough)) {
        return false;
    }
    char buffer[kReceiveChunk];
    const long count = socket_.Receive(buffer, readThrough ? sizeof buffer : std::min(room, sizeof buffer));
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return false;
    }
    if (count <= 0) {
        hungUp_ = true;
    } else if (protocol_ == NetworkProtocol::Rfc2217) {
        received_.clear();
        telnet_.Receive(reinterpret_cast<const unsigned char*>(buffer), static_cast<std::size_t>(count), received_);
        StoreInput(received_.data(), received_.size());
    } else {
        StoreInput(buffer, static_cast<std::size_t>(count));
    }
    if (awaitingAnswers_) {
        answer_.Raise();
    }
    if (wakeWaiter) {
        WakeWait();
    }
    return count > 0;
}

// Input beyond the capacity (only while answers are awaited) is dropped and reported as an
// overrun, as a device whose input queue overflows does.
void NetworkDevice::StoreInput(const char* bytes, std::size_t count)
{
    const std::size_t room = kInputCapacity - std::min(input_.Size(), kInputCapacity);
    if (count > room) {
        inputOverrun_ = true;
        count = room;
    }
    input_.Append(bytes, count);
}

bool NetworkDevice::HasOutputToSend() const
{
    return stagingSent_ < staging_.size() || telnet_.HasOutput() ||
           (output_.Size() > 0 && !telnet_.OutputSuspended());
}

// Answers and requests go before queued data, but never into the middle of bytes already
// handed over in part: an escaped 0xFF or a command cut in two must be finished first.
void NetworkDevice::SendToServer()
{
    while (socket_.IsOpen() && !hungUp_) {
        if (stagingSent_ == staging_.size()) {
            staging_.clear();
            stagingSent_ = 0;
            if (telnet_.HasOutput()) {
                staging_ = telnet_.TakeOutput();
            } else if (output_.Size() > 0 && !telnet_.OutputSuspended()) {
                const std::size_t count = std::min(output_.Size(), kSendChunk);
                const auto* bytes = reinterpret_cast<const unsigned char*>(output_.Front());
                if (protocol_ == NetworkProtocol::Rfc2217) {
                    TelnetComPort::EscapeData(bytes, count, staging_);
                } else {
                    staging_.assign(output_.Front(), count);
                }
                output_.Drop(count);
            } else {
                return;
            }
        }
        const long sent = socket_.Send(staging_.data() + stagingSent_, staging_.size() - stagingSent_);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                hungUp_ = true;
            }
            return;
        }
        stagingSent_ += static_cast<std::size_t>(sent);
    }
}

bool NetworkDevice::ClearErrors(unsigned& errors, std::size_t& inputQueueCount)
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(mutex_);
    ReadFromServer(false, false);
    errors = telnet_.TakeLineErrors() | (inputOverrun_ ? CE_RXOVER : 0u);
    inputOverrun_ = false;
    inputQueueCount = input_.Size();
    return true;
}

bool NetworkDevice::GetModemStatus(unsigned& status) const
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(mutex_);
    if (!ComPortAvailable()) {
        errno = ENOTTY;
        return false;
    }
    status = telnet_.ModemStatus();
    return true;
}

bool NetworkDevice::InputQueueBytes(std::size_t& count) const
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(mutex_);
    count = input_.Size();
    return true;
}

long NetworkDevice::Read(void* buffer, std::size_t size)
{
    if (!IsOpen()) {
        errno = EBADF;
        return -1;
    }
    std::lock_guard lock(mutex_);
    if (input_.Size() == 0) {
        ReadFromServer(false, false);
    }
    const bool wasFull = input_.Size() >= kInputCapacity;
    const std::size_t count = input_.Take(buffer, size);
    if (count == 0 && hungUp_) {
        errno = ECONNRESET;
        return -1;
    }
    if (wasFull && count > 0) {
        WakeWait();  // the waiting thread may read from the server again
    }
    return static_cast<long>(count);
}

long NetworkDevice::Write(const void* bytes, std::size_t size)
{
    if (!IsOpen() || hungUp_) {
        errno = IsOpen() ? EPIPE : EBADF;
        return -1;
    }
    std::size_t taken = 0;
    {
        std::lock_guard lock(mutex_);
        SendToServer();
        taken = std::min(size, kOutputCapacity - std::min(output_.Size(), kOutputCapacity));
        output_.Append(static_cast<const char*>(bytes), taken);
        SendToServer();
    }
    if (hungUp_) {
        errno = EPIPE;
        return -1;
    }
    if (taken > 0) {
        outputInFlight_ = true;
        WakeWait();
    }
    return static_cast<long>(taken);
}
