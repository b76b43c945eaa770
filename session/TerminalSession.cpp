#include "session/TerminalSession.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>

#include "platform/CodePage.h"
#include "platform/LineSettings.h"
#include "platform/VirtualTarget.h"
#include "platform/WholeFile.h"
#include "serial/PortOpening.h"
#include "traffic/SendText.h"

namespace {

// A count shown as "%d" goes on past its largest value from its smallest, as a 32-bit
// counter does, instead of overflowing.
int AddWrapping(int counter, std::size_t count)
{
    return static_cast<int>(static_cast<unsigned>(counter) + static_cast<unsigned>(count));
}

}  // namespace

// Carries the port's notifications from its monitor thread to the session's thread. Receive
// notifications that come while one is still queued ride along with it: its task handles each
// of them in turn, so a flood makes one trip through the loop per batch. Once detached it drops
// everything it is given, and a queued task that finds the sink gone does nothing.
class TerminalSession::Sink : public NotificationSink {
public:
    Sink(SessionLoop& loop, TerminalSession& session) : loop_(loop), session_(session) {}

    void Detach()
    {
        std::lock_guard lock(mutex_);
        detached_ = true;
    }

    bool IsAlive() const override
    {
        std::lock_guard lock(mutex_);
        return !detached_;
    }

    // Posts under the lock, so the session cannot finish detaching while a task is being queued.
    void Post(unsigned message, int, long) override
    {
        std::lock_guard lock(mutex_);
        if (detached_ || (message == WM_COMM_RXCHAR && receivesQueued_++ > 0)) {
            return;
        }
        loop_.Post([this, alive = std::weak_ptr<char>(alive_), message] {
            if (alive.expired()) {
                return;
            }
            const int count = message == WM_COMM_RXCHAR ? receivesQueued_.exchange(0) : 1;
            for (int i = 0; i < count && !alive.expired(); ++i) {
                session_.OnPortNotification(message);
            }
        });
    }

    void ReportFailure(const std::string& caption, const std::string& text) override
    {
        loop_.Post([this, alive = std::weak_ptr<char>(alive_), caption, text] {
            if (!alive.expired()) {
                session_.Report({SessionMessage::PortFailure, {}, text, caption});
            }
        });
    }

private:
    SessionLoop& loop_;
    TerminalSession& session_;
    std::shared_ptr<char> alive_ = std::make_shared<char>();  // queued tasks hold it weakly
    mutable std::mutex mutex_;
    bool detached_ = false;
    // Receive notifications the queued task will handle. Taken without the lock, which the
    // monitor thread holds while it queues a task: the task must not wait for it.
    std::atomic<int> receivesQueued_{0};
};

TerminalSession::TerminalSession(SessionLoop& loop, Scheme& scheme, const DevicePresence& devices,
                                 std::string portMapFile)
    : scheme_(scheme),
      portMapFile_(std::move(portMapFile)),
      capture_(
          loop, [this] { Tell(&SessionObserver::CaptureChanged); },
          [this](const SessionMessage& message) { Report(message); }),
      autoSend_(loop.MakeTimer([this] { Tell(&SessionObserver::AutoSendDue); }, false)),
      reconnect_(devices, [this] { return clock_->Now().monotonic; }),
      retry_(loop.MakeTimer([this] { ConsiderReopening(); }, true)),
      loop_(loop),
      sink_(std::make_unique<Sink>(loop, *this))
{
    scheme_.AddListener(this);
    // Set before the first opening too, so a failure of the monitor thread is reported then.
    port_.SetNotificationSink(sink_.get());
}

TerminalSession::~TerminalSession()
{
    scheme_.RemoveListener(this);
    sink_->Detach();
    port_.Close();
}

void TerminalSession::AddObserver(SessionObserver* observer) { observers_.push_back(observer); }

// An observer that goes while the others hear of an event leaves an empty place, so the telling
// goes on in step; the places are taken out once no telling is under way.
void TerminalSession::RemoveObserver(SessionObserver* observer)
{
    const auto found = std::find(observers_.begin(), observers_.end(), observer);
    if (found == observers_.end()) {
        return;
    }
    if (telling_ > 0) {
        *found = nullptr;
    } else {
        observers_.erase(found);
    }
}

template <typename Event, typename... Args>
void TerminalSession::Tell(Event event, const Args&... args)
{
    ++telling_;
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        if (SessionObserver* observer = observers_[i]) {
            (observer->*event)(args...);
        }
    }
    if (--telling_ == 0) {
        std::erase(observers_, nullptr);
    }
}

void TerminalSession::Report(const SessionMessage& message) { Tell(&SessionObserver::Message, message); }

void TerminalSession::SetAutoReply(bool on)
{
    autoReply_ = on;
    UpdateInstantReply();
}

void TerminalSession::SetInstantReply(bool on)
{
    instantReply_ = on;
    UpdateInstantReply();
}

void TerminalSession::UpdateInstantReply()
{
    const bool on = instantReply_ && !shutDown_;
    RulesChanged();
    instant_.SetEnabled(on && autoReply_);
    port_.SetReceiveResponder(on ? &instant_ : nullptr);
}

// Replies decided on the port's thread use the rules from now on.
void TerminalSession::RulesChanged()
{
    if (instantReply_) {
        instant_.SetRules(scheme_.Rules());
    }
}

void TerminalSession::SetDisplayOptions(const DisplayOptions& options)
{
    options_ = options;
    ApplyDisplayOptions();
    Tell(&SessionObserver::ReceiveChanged);
}

void TerminalSession::SetLineSettings(std::string settings)
{
    lineSettings_ = std::move(settings);
    if (options_.modbusDecode) {
        ApplyDisplayOptions();
    }
}

// With Modbus descriptions and the default gap, frames end after 3.5 characters of silence at
// the line's baud rate.
void TerminalSession::ApplyDisplayOptions()
{
    DisplayOptions inForce = options_;
    // A monitored port shows both ways as frames, whatever the options say.
    if (monitoring_) {
        inForce.timeStamps = true;
        inForce.showSent = true;
    }
    if (options_.modbusDecode && options_.frameGapMs == DisplayOptions::kDefaultFrameGap) {
        LineSettings line;
        BuildLineSettings(lineSettings_, line);
        inForce.frameGapMs = static_cast<int>(ModbusFrameGap(line).count());
    }
    area_.SetOptions(inForce);
    capture_.SetOptions(inForce);
    if (!options_.modbusDecode) {
        modbus_.reset();
        return;
    }
    if (!modbus_) {
        modbus_ = std::make_unique<ModbusNotes>(loop_, [this](const std::string& note) { ShowNote(note); });
    }
    modbus_->SetGap(std::chrono::milliseconds(inForce.frameGapMs));
}

// A description of the frame before it, in the area and a log capture alike.
void TerminalSession::AppendNote(const std::string& note)
{
    area_.AppendNote(note);
    capture_.Note(note);
}

void TerminalSession::ShowNote(const std::string& note)
{
    AppendNote(note);
    area_.ApplyClearingRules(autoClear_);
    Tell(&SessionObserver::ReceiveChanged);
}

void TerminalSession::FeedTimeline(Timeline* timeline)
{
    timelineFeed_.reset();
    if (timeline != nullptr) {
        timelineFeed_.emplace(*timeline);
    }
}

void TerminalSession::UseClock(const Clock& clock)
{
    clock_ = &clock;
    port_.SetReadClock(clock);
}

void TerminalSession::OpenPort(int number, const std::string& settings)
{
    StopReconnecting();
    SetLineSettings(settings);
    try {
        // Also ends the connecting of a network port.
        port_.Close();
        if (number < 1 || number > kHighestPortNumber) {
            Report({SessionMessage::PortNumberInvalid});
        } else {
            port_.SetPortMapFile(portMapFile_);
            const PortOpening opening = OpenNumberedPort(port_, number, settings);
            if (!opening.succeeded && !opening.pending) {
                Report({SessionMessage::PortNotOpened, {}, opening.reason});
            }
        }
        port_.SetNotificationSink(sink_.get());
        RefreshPortState();
        if (port_.IsOpen()) {
            port_.SetState(settings);
            capture_.PortOpened();
        }
    } catch (const std::exception&) {
        Report({SessionMessage::PortOpeningFailed});
        RefreshPortState();
    }
}

void TerminalSession::ClosePort()
{
    if (fileSend_) {
        fileSend_->Stop(FileSend::Outcome::PortClosed);
    }
    StopAutoSend();
    Tell(&SessionObserver::SendingStopped);
    // Also ends the connecting of a network port.
    port_.Close();
    RefreshPortState();
}

void TerminalSession::RefreshPortState()
{
    portOpen_ = port_.IsOpen();
    const bool monitoring = portOpen_ && IsMonitorTarget(port_.Target());
    if (monitoring != monitoring_) {
        monitoring_ = monitoring;
        ApplyDisplayOptions();
    }
    Tell(&SessionObserver::PortStateChanged);
}

bool TerminalSession::Connecting() const { return port_.Opening() && !reconnect_.Attempting(); }

void TerminalSession::ShowLine(std::string_view text)
{
    area_.AppendText(text);
    Tell(&SessionObserver::ReceiveChanged);
}

void TerminalSession::ClearReceive()
{
    area_.Clear();
    Tell(&SessionObserver::ReceiveChanged);
}

void TerminalSession::ResetCounters()
{
    receiveCounter_ = 0;
    sendCounter_ = 0;
}

void TerminalSession::OnPortNotification(unsigned message)
{
    if (message == WM_COMM_RXCHAR) {
        OnCommRxChar();
    } else if (message == WM_COMM_LOST) {
        OnCommLost();
    } else if (message == WM_COMM_OPENED) {
        OnCommOpened();
    } else if (message == WM_COMM_PASSED_ON) {
        OnPassedOn();
    }
    Tell(&SessionObserver::PortEvent, message);
}

void TerminalSession::OnCommRxChar()
{
    unsigned char buffer[kAutoReplyReadSize];
    const std::size_t count = port_.ReadReceived(buffer, sizeof buffer, receivedPieces_);
    AppendReceivedPieces(buffer);
    receiveCounter_ = AddWrapping(receiveCounter_, count);
    ShowInstantReplies();
    if (autoReply_ && !instantReply_) {
        RunAutoReply(buffer, count);
    }
    area_.ApplyClearingRules(autoClear_);
    Tell(&SessionObserver::ReceiveChanged);
}

// Each piece with the time it was read from the device, so that frames split where the device
// fell silent even when the session took the bytes later.
void TerminalSession::AppendReceivedPieces(const unsigned char* bytes)
{
    for (const ReceivedPiece& piece : receivedPieces_) {
        Tell(&SessionObserver::BytesReceived, bytes, piece.size, piece.readAt);
        if (modbus_) {
            modbus_->Received(bytes, piece.size, piece.readAt);
        }
        area_.AppendReceived(bytes, piece.size, hexDisplay_, piece.readAt);
        capture_.Received(bytes, piece.size, piece.readAt);
        if (timelineFeed_) {
            timelineFeed_->Received(port_.PortNumber(), bytes, piece.size, piece.readAt,
                                    std::chrono::milliseconds(area_.Options().frameGapMs));
        }
        bytes += piece.size;
    }
}

int TerminalSession::RunAutoReply(const unsigned char* bytes, std::size_t count)
{
    try {
        const std::optional<ProtocolRule> rule = matcher_.Match(scheme_.Rules(), bytes, count);
        if (!rule) {
            return 0;
        }
        // The match was completed by the last read of the bytes.
        const ReadTime readAt = receivedPieces_.empty() ? clock_->Now() : receivedPieces_.back().readAt;
        // A rule's reply is sent as the rule has it, without the options of the user's sends.
        Send(rule->SendData, rule->SendIsHex, BytesToSend(rule->SendData, rule->SendIsHex));
        if (replyStatistics_) {
            scheme_.Statistics().Record(rule->Id, readAt.wall, lastWriteAt_ - readAt.monotonic);
        }
        area_.AppendText(AutoReplyLine(rule->Name));
        return 1;
    } catch (const std::exception&) {
        return 0;
    }
}

// In the order they fired, each after the bytes that made it fire (a flood read ahead of the
// session may show a reply a little before the last of those bytes).
void TerminalSession::ShowInstantReplies()
{
    for (const InstantReply::Firing& firing : instant_.TakeFirings()) {
        if (replyStatistics_) {
            scheme_.Statistics().Record(firing.ruleId, firing.firedAt, firing.latency);
        }
        if (port_.IsOpen()) {
            ShowSentFrame(firing.bytes);
        }
        CountSent(firing.sendData, firing.sendIsHex, firing.bytes.size());
        area_.AppendText(AutoReplyLine(firing.ruleName));
    }
}

bool TerminalSession::SendString(std::string text, std::int32_t isHex)
{
    const SendBytes send = BytesToSend(text, isHex, textSendOptions_);
    if (send.badEscapeAt) {
        SessionMessage message{SessionMessage::BadEscape, {}, text};
        message.position = *send.badEscapeAt;
        Report(message);
        return false;
    }
    Send(text, isHex, send.bytes);
    return true;
}

void TerminalSession::Send(const std::string& text, std::int32_t isHex, const std::string& bytes)
{
    if (port_.IsOpen()) {
        port_.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        lastWriteAt_ = clock_->Now().monotonic;
        ShowSentFrame(bytes);
    }
    CountSent(text, isHex, bytes.size());
}

void TerminalSession::CountSent(const std::string& text, std::int32_t isHex, std::size_t byteCount)
{
    sendCounter_ = AddWrapping(sendCounter_, byteCount);
    Tell(&SessionObserver::Sent, text, isHex);
}

// What the program at a monitored port's virtual end wrote is shown and counted as sent. A
// flood is taken a share at a time, so the loop stays responsive; the rest is asked for again.
void TerminalSession::OnPassedOn()
{
    unsigned char buffer[kAutoReplyReadSize];
    std::size_t taken = 0;
    while (taken < kPassedOnShare) {
        const std::size_t count = port_.ReadPassedOn(buffer, sizeof buffer);
        if (count == 0) {
            break;
        }
        taken += count;
        ShowSentFrame(std::string_view(reinterpret_cast<const char*>(buffer), count), true);
        sendCounter_ = AddWrapping(sendCounter_, count);
    }
    if (taken >= kPassedOnShare) {
        sink_->Post(WM_COMM_PASSED_ON, port_.PortNumber(), 0);
    }
    Tell(&SessionObserver::PassedOn);
}

// With "显示发送" the bytes written appear in the receive area and in a log capture.
void TerminalSession::ShowSentFrame(std::string_view bytes, bool passedOn)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const ReadTime time = clock_->Now();
    const std::string note = modbus_ ? modbus_->Sent(data, bytes.size()) : std::string();
    capture_.Sent(data, bytes.size(), time, passedOn);
    if (timelineFeed_) {
        timelineFeed_->Sent(port_.PortNumber(), data, bytes.size(), time);
    }
    const bool shown = passedOn ? area_.AppendPassedOn(data, bytes.size(), hexDisplay_, time)
                                : area_.AppendSent(data, bytes.size(), hexDisplay_, time);
    if (shown) {
        if (!note.empty()) {
            AppendNote(note);
        }
        area_.ApplyClearingRules(autoClear_);
        Tell(&SessionObserver::ReceiveChanged);
    }
}

bool TerminalSession::SendFile(const std::string& path, const FileSendOptions& options)
{
    if (!portOpen_) {
        Report({SessionMessage::AutoSendPortClosed});
        return false;
    }
    std::FILE* file = nullptr;
    std::uint64_t size = 0;
    if (const std::error_code error = OpenRegularFile(path, file, size)) {
        Report({SessionMessage::FileNotSent, path,
                error == std::errc::not_supported ? std::string("notRegular") : error.message()});
        return false;
    }
    fileSendPath_ = path;
    FileSend::Port port{[this] { return port_.PendingWriteBytes(); },
                        [this](const std::string& bytes) {
                            port_.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
                            sendCounter_ = AddWrapping(sendCounter_, bytes.size());
                            Tell(&SessionObserver::FileSendChanged);
                        },
                        [this](FileSend::Outcome outcome) { FileSendEnded(outcome); }};
    fileSend_ = std::make_unique<FileSend>(loop_, file, size, options, std::move(port));
    Tell(&SessionObserver::FileSendChanged);
    return true;
}

void TerminalSession::CancelFileSend()
{
    if (fileSend_) {
        fileSend_->Stop(FileSend::Outcome::Cancelled);
    }
}

void TerminalSession::FileSendEnded(FileSend::Outcome outcome)
{
    Tell(&SessionObserver::FileSendChanged);
    const char* why = outcome == FileSend::Outcome::PortClosed ? "portClosed"
                      : outcome == FileSend::Outcome::Shrank   ? "shrank"
                      : outcome == FileSend::Outcome::ReadFailed ? "readFailed"
                                                                 : nullptr;
    if (why != nullptr) {
        Report({SessionMessage::FileSendEnded, fileSendPath_, why});
    }
}

bool TerminalSession::SetAutoSend(bool checked, int interval)
{
    if (!portOpen_) {
        Report({SessionMessage::AutoSendPortClosed});
    } else if (interval == 0) {
        Report({SessionMessage::AutoSendZeroInterval});
    } else if (checked) {
        autoSend_->Start(std::chrono::milliseconds(std::abs(static_cast<long long>(interval))));
        return true;
    }
    StopAutoSend();
    return false;
}

void TerminalSession::StopAutoSend() { autoSend_->Stop(); }

void TerminalSession::SetAutoReconnect(bool on)
{
    const bool reopening = reconnect_.Attempting();
    reconnect_.SetEnabled(on);
    ConsiderReopening();
    if (reopening && !reconnect_.Enabled()) {
        port_.CancelOpening();
    }
}

void TerminalSession::StopReconnecting()
{
    reconnect_.Cancel();
    retry_->Stop();
}

void TerminalSession::DevicesChanged()
{
    if (port_.IsOpen()) {
        port_.CheckDevice();
    }
    ConsiderReopening();
}

// The device has gone: the port is closed as the user would close it, and the receive area
// says so; no message (one per unplugged cable would be a nuisance).
void TerminalSession::OnCommLost()
{
    // A loss of a port that has been closed or opened again since is no news.
    if (!port_.IsLost()) {
        return;
    }
    const int number = port_.PortNumber();
    const std::string device = port_.Target();
    ClosePort();
    capture_.PortLost();
    ShowLine(Utf8ToGbk("\r\n--串口已断开--\r\n"));
    reconnect_.PortLost(number, device);
    ConsiderReopening();
}

// The opening of a network port, which went on in the background, has ended: its outcome is
// shown as OpenPort shows a local port's.
void TerminalSession::OnCommOpened()
{
    const std::optional<PortOpening> opening = FinishPortOpening(port_);
    if (!opening) {
        return;  // ended by the user, or taken already
    }
    if (reconnect_.Attempting()) {
        FinishReopening();
        return;
    }
    if (!opening->succeeded) {
        Report({SessionMessage::PortNotOpened, {}, opening->reason});
    }
    RefreshPortState();
    if (port_.IsOpen()) {
        capture_.PortOpened();
    }
}

void TerminalSession::ConsiderReopening()
{
    if (reconnect_.ShouldTryNow()) {
        reconnect_.AttemptStarted();
        ReopenLostPort(reconnect_.PortNumber());
    }
    ScheduleNextLook();
}

void TerminalSession::ReopenLostPort(int number)
{
    const PortOpening opening = OpenNumberedPort(port_, number, lineSettings_);
    if (!opening.pending) {
        FinishReopening();
    }
}

void TerminalSession::FinishReopening()
{
    if (port_.IsOpen()) {
        reconnect_.AttemptSucceeded();
    } else {
        reconnect_.AttemptFailed();
    }
    ScheduleNextLook();
    if (!port_.IsOpen()) {
        return;
    }
    port_.SetNotificationSink(sink_.get());
    RefreshPortState();
    ShowLine(Utf8ToGbk("\r\n--串口已重新连接--\r\n"));
    capture_.PortOpened();
}

void TerminalSession::ScheduleNextLook()
{
    if (const auto again = reconnect_.AskAgainIn()) {
        retry_->Start(std::chrono::ceil<std::chrono::milliseconds>(*again));
    } else {
        retry_->Stop();
    }
}

void TerminalSession::Shutdown()
{
    shutDown_ = true;
    StopReconnecting();
    port_.CancelOpening();
    UpdateInstantReply();
    StopAutoSend();
    Tell(&SessionObserver::SendingStopped);
    sink_->Detach();
    modbus_.reset();
    capture_.Stop();
}
