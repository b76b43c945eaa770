#include "serial/PortEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/PortNames.h"

namespace {

constexpr std::size_t kDeviceNameField = 20;
constexpr std::size_t kFailureTextField = 256;
constexpr const char* kFailureCaption = "Class PortEngine";
constexpr unsigned kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* cursor = path; *cursor != '\0'; ++cursor) {
        if (*cursor == '/' || *cursor == '\\') {
            name = cursor + 1;
        }
    }
    return name;
}

const Clock& SystemReadClock()
{
    static const SystemClock clock;
    return clock;
}

}  // namespace

PortEngine::PortEngine() : readClock_(&SystemReadClock()) {}

PortEngine::~PortEngine() { PortEngine::Close(); }

bool PortEngine::Open()
{
    CancelOpening();
    if (IsOpen()) {
        Close();
    }
    target_ = ResolvePortDevice(deviceName_, portMapFile_);
    if (target_.empty()) {
        openError_ = {OpenFailure::NoSuchDevice, ENOENT};
        return false;
    }
    device_ = deviceFactory_(target_);
    if (device_->Open(target_)) {
        openError_ = {};
        if (!monitor_.joinable() && StartMonitor()) {
            return true;
        }
        openError_ = {OpenFailure::Other, errno};
    } else {
        openError_ = device_->LastOpenError();
    }
    Close();
    return false;
}

bool PortEngine::StartMonitor()
{
    {
        std::lock_guard lock(outputMutex_);
        pendingOutput_.Clear();
        droppedAtOpen_ = pendingOutput_.DroppedBytes();
    }
    {
        std::lock_guard lock(sinkMutex_);
        lossUnannounced_ = false;
    }
    {
        std::lock_guard lock(receiveMutex_);
        receivesOutstanding_ = 0;
        inputTimes_.Reset();
    }
    input_.Reset();
    readAheadPaused_ = false;
    inputErrors_ = 0;
    unreportedErrors_ = 0;
    unreadAtLoss_.reset();
    wakeCount_ = 0;
    receivedBytes_ = 0;
    sentBytes_ = 0;
    breakEnd_ = 0;
    running_ = true;
    try {
        monitor_ = std::thread(&PortEngine::ThreadEntry, this);
    } catch (const std::system_error&) {
        running_ = false;
        return false;
    }
    return true;
}

bool PortEngine::SetUpDevice(Device& device)
{
    CommTimeouts timeouts;
    if (!device.SetQueueSizes(kQueueSize, kQueueSize) || !device.GetTimeouts(timeouts)) {
        return false;
    }
    timeouts.readIntervalTimeout = 0;
    timeouts.readTotalTimeoutMultiplier = 1;
    timeouts.readTotalTimeoutConstant = 1000;
    timeouts.writeTotalTimeoutMultiplier = 1;
    timeouts.writeTotalTimeoutConstant = 1000;
    return device.SetTimeouts(timeouts);
}

bool PortEngine::ApplySettings(Device& device, const std::string& settings)
{
    LineSettings line;
    return device.GetLineSettings(line) && BuildLineSettings(settings, line) && device.SetLineSettings(line);
}

bool PortEngine::Setup()
{
    return IsOpen() && SetUpDevice(*device_) && Purge(kPurgeAll);
}

bool PortEngine::SetState(const std::string& settings) { return IsOpen() && ApplySettings(*device_, settings); }

bool PortEngine::BeginOpening(const std::string& settings)
{
    const std::string target = ResolvePortDevice(deviceName_, portMapFile_);
    if (!OpeningMayWait(target)) {
        return false;
    }
    Close();
    target_ = target;
    auto steps = [target, settings](Device& device) {
        OpenSteps done;
        done.settings = settings;
        done.opened = device.Open(target);
        done.setUp = done.opened && SetUpDevice(device) && device.Purge(kPurgeAll);
        done.settingsTaken = done.setUp && ApplySettings(device, settings);
        return done;
    };
    opening_ = std::make_unique<BackgroundOpening>(deviceFactory_(target), steps,
                                                   [this] { Notify(WM_COMM_OPENED, 0); });
    return true;
}

bool PortEngine::Opening() const { return opening_ != nullptr; }

std::optional<OpenSteps> PortEngine::FinishOpening()
{
    if (opening_ == nullptr || !opening_->Finished()) {
        return std::nullopt;
    }
    OpenSteps steps = opening_->Outcome();
    device_ = opening_->TakeDevice();
    opening_.reset();
    if (!steps.opened) {
        openError_ = device_->LastOpenError();
    } else if (StartMonitor()) {
        openError_ = {};
    } else {
        openError_ = {OpenFailure::Other, errno};
        steps.opened = steps.setUp = steps.settingsTaken = false;
        Close();
    }
    return steps;
}

void PortEngine::CancelOpening() { opening_.reset(); }

void PortEngine::Close()
{
    CancelOpening();
    if (!IsOpen()) {
        return;
    }
    Purge(PURGE_TXABORT | PURGE_TXCLEAR);
    if (monitor_.joinable()) {
        running_ = false;
        device_->SetEventMask(0);
        device_->WakeWait();
        monitor_.join();
    }
    if (breakEnd_.exchange(0) != 0) {
        device_->SetBreak(false);
    }
    device_->Close();
    std::lock_guard lock(receiveMutex_);
    receivesOutstanding_ = 0;
    input_.Reset();
    inputTimes_.Reset();
}

bool PortEngine::IsOpen() const { return device_ != nullptr && device_->IsOpen(); }

bool PortEngine::IsLost() const { return IsOpen() && device_->IsLost(); }

void PortEngine::SetPortNumber(int number) { portNumber_ = number; }

int PortEngine::PortNumber() const { return portNumber_; }

void PortEngine::SetDeviceName(const std::string& name) { deviceName_ = name.substr(0, kDeviceNameField - 1); }

const std::string& PortEngine::DeviceName() const { return deviceName_; }

void PortEngine::SetPortMapFile(const std::string& configPath) { portMapFile_ = configPath; }

void PortEngine::SetDeviceFactory(DeviceFactory factory) { deviceFactory_ = std::move(factory); }

const std::string& PortEngine::Target() const { return target_; }

OpenError PortEngine::LastOpenError() const { return openError_; }

void PortEngine::SetNotificationSink(NotificationSink* sink)
{
    {
        std::lock_guard lock(sinkMutex_);
        // Notifications the old receiver got will never be read by the new one.
        if (sink_ != sink) {
            sink_ = sink;
            std::lock_guard receiveLock(receiveMutex_);
            receivesOutstanding_ = 0;
            AnnounceLossLocked();
        }
    }
    if (IsOpen()) {
        receiveCheckRequested_ = true;
        device_->WakeWait();
    }
}

void PortEngine::SetReceiveResponder(ReceiveResponder* responder)
{
    std::lock_guard lock(responderMutex_);
    responder_ = responder;
}

std::size_t PortEngine::ReadReceived(unsigned char* buffer, std::size_t capacity)
{
    return TakeReceived(buffer, capacity, nullptr);
}

std::size_t PortEngine::ReadReceived(unsigned char* buffer, std::size_t capacity,
                                     std::vector<ReceivedPiece>& pieces)
{
    pieces.clear();
    return TakeReceived(buffer, capacity, &pieces);
}

void PortEngine::SetReadClock(const Clock& clock) { readClock_ = &clock; }

std::size_t PortEngine::ReadAheadBytes() const { return input_.Size(); }

std::size_t PortEngine::TakeReceived(unsigned char* buffer, std::size_t capacity,
                                     std::vector<ReceivedPiece>* pieces)
{
    const bool open = IsOpen();
    const bool lineErrors = open && inputErrors_ != 0 && DiscardInputReadWithLineErrors();
    if (lineErrors) {
        NoticeLoss();
    }
    std::size_t count = 0;
    bool uncovered = false;
    {
        std::lock_guard lock(receiveMutex_);
        if (open && !lineErrors) {
            count = input_.Take(buffer, capacity);
            inputTimes_.Take(count, pieces);
        }
        receivesOutstanding_ = std::max(receivesOutstanding_ - 1, 0);
        // Normally each read takes a notification's share, so the rest stays covered; a smaller
        // read, or a notification no receiver got, leaves bytes for the monitor thread to
        // announce.
        uncovered = input_.Size() > static_cast<std::size_t>(receivesOutstanding_) * kReceiveReadSize;
    }
    receivedBytes_ += count;
    if (open) {
        HandInputBack(uncovered);
    }
    return count;
}

void PortEngine::HandInputBack(bool uncovered)
{
    if (uncovered) {
        receiveCheckRequested_ = true;
    }
    // Seen after the bytes were taken, so either this sees the pause or the monitor thread
    // sees the room (both are sequentially consistent).
    const bool resume = readAheadPaused_ && input_.Room() >= input_.Capacity() / 2 && readAheadPaused_.exchange(false);
    if (uncovered || resume) {
        device_->WakeWait();
    }
}

void PortEngine::Write(const unsigned char* bytes, std::size_t count)
{
    if (!IsOpen() || count == 0) {
        return;
    }
    unsigned errors = 0;
    std::size_t waiting = 0;
    if (device_->ClearErrors(errors, waiting) && errors != 0) {
        Purge(PURGE_TXABORT | PURGE_TXCLEAR);
    }
    const auto now = PendingWrites::Clock::now();
    const std::chrono::milliseconds timeout = WriteTimeout(count);
    std::lock_guard lock(outputMutex_);
    // Bytes go straight to the device only when nothing is waiting before them.
    const bool offeredNow = pendingOutput_.Empty();
    std::size_t taken = 0;
    if (offeredNow) {
        const long written = device_->Write(bytes, count);
        if (written < 0) {
            NoticeLoss();
            return;
        }
        taken = static_cast<std::size_t>(written);
        sentBytes_ += taken;
    }
    if (taken < count) {
        pendingOutput_.Push(bytes + taken, count - taken, timeout, offeredNow, now);
        device_->WakeWait();
    }
}

std::size_t PortEngine::PendingWriteBytes() const
{
    std::lock_guard lock(outputMutex_);
    return pendingOutput_.Bytes();
}

std::uint64_t PortEngine::DroppedWriteBytes() const
{
    std::lock_guard lock(outputMutex_);
    return pendingOutput_.DroppedBytes();
}

std::uint64_t PortEngine::MonitorWakeCount() const { return wakeCount_; }

void PortEngine::OnReceive() { receivePosted_ = Notify(WM_COMM_RXCHAR, 0); }

void PortEngine::OnDSR() { NotifyModemLine(WM_COMM_DSR, MS_DSR_ON); }

void PortEngine::OnCTS() { NotifyModemLine(WM_COMM_CTS, MS_CTS_ON); }

void PortEngine::OnBreak() { Notify(WM_COMM_BREAK, 0); }

void PortEngine::OnTXEmpty() { Notify(WM_COMM_TXEMPTY, 0); }

void PortEngine::OnError()
{
    unsigned errors = 0;
    std::size_t waiting = 0;
    if (IsOpen()) {
        device_->ClearErrors(errors, waiting);
    }
    // The read-ahead clears the errors as it reads; those it found are reported here too.
    errors |= std::exchange(unreportedErrors_, 0u);
    Notify(WM_COMM_ERROR, static_cast<long>(errors));
}

void PortEngine::OnRing() { Notify(WM_COMM_RING, 0); }

void PortEngine::OnRLSD() { Notify(WM_COMM_RLSD, 0); }

void PortEngine::OnPassedOn() { Notify(WM_COMM_PASSED_ON, 0); }

// A loss is announced once. When no receiver hears it (none is set yet), the next receiver set
// is told: the monitor thread has ended by then and will not tell anyone again.
void PortEngine::OnLost()
{
    std::lock_guard lock(sinkMutex_);
    lossUnannounced_ = true;
    AnnounceLossLocked();
}

void PortEngine::AnnounceLossLocked()
{
    if (lossUnannounced_ && sink_ != nullptr && sink_->IsAlive()) {
        sink_->Post(WM_COMM_LOST, portNumber_, 0);
        lossUnannounced_ = false;
    }
}

unsigned PortEngine::ThreadEntry(PortEngine* engine) { return engine->ThreadFunc(); }

unsigned PortEngine::ThreadFunc()
{
    if (const int line = __LINE__; !device_->SetEventMask(eventMask_)) {
        ReportEventMaskFailure(line, errno);
        return 1;
    }
    while (running_ && IsOpen()) {
        ++wakeCount_;
        const WaitRequest request = NextWaitRequest();
        const WaitResult result = device_->WaitEvent(request);
        if (!running_) {
            break;
        }
        EndBreakWhenDue();
        WritePendingOutput();
        if (receiveCheckRequested_.exchange(false) && (result.events & EV_RXCHAR) == 0) {
            ReceiveInput(false, false);
        }
        DispatchEvents(result.events);
        if (result.hungUp || device_->IsLost()) {
            if (!ReadLeftAfterLoss()) {
                continue;
            }
            OnLost();
            break;
        }
    }
    return 0;
}

void PortEngine::DispatchEvents(unsigned eventWord)
{
    if ((eventWord & EV_RXCHAR) != 0) {
        ReceiveInput(IsOpen(), true);
    }
    if ((eventWord & EV_TXEMPTY) != 0) {
        OnTXEmpty();
    }
    if ((eventWord & EV_CTS) != 0) {
        OnCTS();
    }
    if ((eventWord & EV_DSR) != 0) {
        OnDSR();
    }
    if ((eventWord & EV_RLSD) != 0) {
        OnRLSD();
    }
    if ((eventWord & EV_BREAK) != 0) {
        OnBreak();
    }
    if ((eventWord & EV_ERR) != 0) {
        OnError();
    }
    if ((eventWord & EV_RING) != 0) {
        OnRing();
    }
    if ((eventWord & EV_PASSED_ON) != 0) {
        OnPassedOn();
    }
}

std::size_t PortEngine::ReceiveInput(bool read, bool inputEvent)
{
    const auto [bytesRead, notifications] = ReadAhead(read, inputEvent);
    SendReply();
    PostReceives(notifications);
    return bytesRead;
}

std::pair<std::size_t, int> PortEngine::ReadAhead(bool read, bool inputEvent)
{
    std::unique_lock inputLock(inputMutex_, std::defer_lock);
    std::size_t total = 0;
    if (read) {
        inputLock.lock();
        unsigned errors = 0;
        std::size_t waiting = 0;
        if (device_->ClearErrors(errors, waiting) && errors != 0) {
            inputErrors_ |= errors;
            unreportedErrors_ |= errors;
        }
        // The free space may wrap around the end of the ring: then it takes two reads.
        for (std::span<unsigned char> space = input_.FreeSpace(0); !space.empty(); space = input_.FreeSpace(total)) {
            const long got = device_->Read(space.data(), space.size());
            if (got <= 0) {
                break;
            }
            AskResponder(space.data(), static_cast<std::size_t>(got));
            total += static_cast<std::size_t>(got);
            if (static_cast<std::size_t>(got) < space.size()) {
                break;
            }
        }
    }
    const ReadTime readAt = total > 0 ? readClock_.load()->Now() : ReadTime{};
    std::lock_guard lock(receiveMutex_);
    input_.Commit(total);
    inputTimes_.Read(total, readAt);
    const int needed = static_cast<int>((input_.Size() + kReceiveReadSize - 1) / kReceiveReadSize);
    int notifications = std::max(needed - receivesOutstanding_, 0);
    if (inputEvent && receivesOutstanding_ == 0) {
        notifications = std::max(notifications, 1);
    }
    // Counted before they are posted, since the owner may read one before its post returns.
    receivesOutstanding_ += notifications;
    return {total, notifications};
}

void PortEngine::AskResponder(const unsigned char* bytes, std::size_t count)
{
    std::lock_guard lock(responderMutex_);
    // Input read with line errors the owner has not acted on yet is discarded unseen: nothing
    // answers it either.
    if (responder_ != nullptr && inputErrors_ == 0) {
        reply_ += responder_->Respond(bytes, count);
    }
}

void PortEngine::SendReply()
{
    if (!reply_.empty()) {
        Write(reinterpret_cast<const unsigned char*>(reply_.data()), reply_.size());
        reply_.clear();
        std::lock_guard lock(responderMutex_);
        if (responder_ != nullptr) {
            responder_->Written();
        }
    }
}

void PortEngine::PostReceives(int count)
{
    // Only notifications that reached a receiver are waited for.
    for (int posted = 0; posted < count; ++posted) {
        receivePosted_ = false;
        OnReceive();
        if (!receivePosted_) {
            std::lock_guard lock(receiveMutex_);
            receivesOutstanding_ = std::max(receivesOutstanding_ - (count - posted), 0);
            return;
        }
    }
}

bool PortEngine::ReadAheadAllowed()
{
    if (!readAheadPaused_ && input_.Room() == 0) {
        readAheadPaused_ = true;
    }
    // Looked at again after pausing: the owner may have made room before it could see the pause.
    if (readAheadPaused_ && input_.Room() >= input_.Capacity() / 2) {
        readAheadPaused_ = false;
    }
    return !readAheadPaused_;
}

bool PortEngine::ReadLeftAfterLoss()
{
    if (!unreadAtLoss_) {
        std::size_t waiting = 0;
        unreadAtLoss_ = device_->InputQueueBytes(waiting) ? waiting : 0;
    }
    while (*unreadAtLoss_ > 0 && input_.Room() > 0) {
        const std::size_t got = ReceiveInput(true, false);
        *unreadAtLoss_ = got == 0 ? 0 : *unreadAtLoss_ - std::min(got, *unreadAtLoss_);
    }
    ReceiveInput(false, false);
    // Without a receiver nobody makes room: what does not fit is given up.
    return *unreadAtLoss_ == 0 || !HasLiveSink();
}

bool PortEngine::Notify(unsigned message, long lParam)
{
    std::lock_guard lock(sinkMutex_);
    if (sink_ == nullptr || !sink_->IsAlive()) {
        return false;
    }
    sink_->Post(message, portNumber_, lParam);
    return true;
}

bool PortEngine::HasLiveSink()
{
    std::lock_guard lock(sinkMutex_);
    return sink_ != nullptr && sink_->IsAlive();
}

void PortEngine::NotifyModemLine(unsigned message, unsigned statusBit)
{
    std::lock_guard lock(sinkMutex_);
    unsigned status = 0;
    if (sink_ != nullptr && sink_->IsAlive() && IsOpen() && device_->GetModemStatus(status)) {
        sink_->Post(message, portNumber_, (status & statusBit) != 0 ? 1 : 0);
    }
}

bool PortEngine::Purge(unsigned flags)
{
    if ((flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) {
        std::lock_guard lock(outputMutex_);
        pendingOutput_.Clear();
    }
    if ((flags & PURGE_RXCLEAR) == 0) {
        return device_->Purge(flags);
    }
    bool purged = false;
    {
        std::lock_guard lock(inputMutex_);
        purged = DiscardInput(flags);
    }
    ResumeReadAhead();
    return purged;
}

bool PortEngine::DiscardInputReadWithLineErrors()
{
    // Under the read-ahead's lock, so a read in progress is either wholly before the check (and
    // discarded with its errors) or wholly after the purge; the monitor thread's responder relies
    // on that to answer no byte that is discarded.
    {
        std::lock_guard lock(inputMutex_);
        if (inputErrors_.exchange(0) == 0) {
            return false;
        }
        DiscardInput(PURGE_RXABORT | PURGE_RXCLEAR);
    }
    ResumeReadAhead();
    return true;
}

bool PortEngine::DiscardInput(unsigned flags)
{
    const bool purged = device_->Purge(flags);
    std::lock_guard receiveLock(receiveMutex_);
    input_.Discard();
    inputTimes_.Discard();
    return purged;
}

void PortEngine::ResumeReadAhead()
{
    if (readAheadPaused_.exchange(false)) {
        device_->WakeWait();
    }
}

void PortEngine::ReportEventMaskFailure(int line, int error)
{
    char text[kFailureTextField];
    std::snprintf(text, sizeof text, "%s(%d) : COM%d Call WINAPI SetCommMask(%x, %x) Fail, thread work invalid! GetLastError() = %d;",
                  FileNameOf(__FILE__), line, portNumber_.load(), static_cast<unsigned>(device_->Handle()), eventMask_,
                  error);
    std::lock_guard lock(sinkMutex_);
    if (sink_ != nullptr) {
        sink_->ReportFailure(kFailureCaption, text);
    }
}

WaitRequest PortEngine::NextWaitRequest()
{
    WaitRequest request;
    // Without a receiver nothing would read the input, so it is not watched (no spinning on it).
    request.watchInput = ReadAheadAllowed() && HasLiveSink();
    std::lock_guard lock(outputMutex_);
    const auto now = PendingWrites::Clock::now();
    pendingOutput_.DropOverdue(now);
    request.watchOutputRoom = !pendingOutput_.Empty();
    request.outputQueued = request.watchOutputRoom;
    std::optional<PendingWrites::Clock::duration> wake = pendingOutput_.TimeToDeadline(now);
    if (const auto breakEnd = breakEnd_.load(); breakEnd != 0) {
        const auto left = std::max(PendingWrites::Clock::duration(breakEnd) - now.time_since_epoch(),
                                   PendingWrites::Clock::duration::zero());
        wake = wake ? std::min(*wake, left) : left;
    }
    if (wake) {
        request.timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(*wake).count());
    }
    return request;
}

void PortEngine::WritePendingOutput()
{
    std::lock_guard lock(outputMutex_);
    if (!pendingOutput_.Empty()) {
        pendingOutput_.Drain(
            [this](const unsigned char* bytes, std::size_t count) {
                const long taken = device_->Write(bytes, count);
                sentBytes_ += taken > 0 ? static_cast<std::uint64_t>(taken) : 0;
                return taken;
            },
            PendingWrites::Clock::now());
    }
}

std::chrono::milliseconds PortEngine::WriteTimeout(std::size_t count) const
{
    CommTimeouts timeouts;
    if (!device_->GetTimeouts(timeouts)) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::milliseconds(static_cast<long long>(timeouts.writeTotalTimeoutMultiplier) * static_cast<long long>(count) +
                                     timeouts.writeTotalTimeoutConstant);
}

void PortEngine::EndBreakWhenDue()
{
    auto breakEnd = breakEnd_.load();
    if (breakEnd != 0 && std::chrono::steady_clock::now().time_since_epoch().count() >= breakEnd &&
        breakEnd_.compare_exchange_strong(breakEnd, 0)) {
        device_->SetBreak(false);
    }
}

void PortEngine::NoticeLoss()
{
    if (device_->IsLost()) {
        device_->WakeWait();
    }
}

PortStatistics PortEngine::Statistics() const
{
    PortStatistics statistics;
    statistics.received = receivedBytes_;
    statistics.sent = sentBytes_;
    {
        std::lock_guard lock(outputMutex_);
        statistics.dropped = pendingOutput_.DroppedBytes() - droppedAtOpen_;
    }
    statistics.lineCountersKnown = IsOpen() && device_->GetLineCounters(statistics.line);
    return statistics;
}

bool PortEngine::GetModemStatus(unsigned& status) const { return IsOpen() && device_->GetModemStatus(status); }

bool PortEngine::GetLineSettings(LineSettings& settings) const { return IsOpen() && device_->GetLineSettings(settings); }

std::size_t PortEngine::ReadPassedOn(unsigned char* buffer, std::size_t capacity)
{
    return IsOpen() ? device_->ReadPassedOn(buffer, capacity) : 0;
}

bool PortEngine::SetDtr(bool on) { return IsOpen() && device_->SetControlLine(ControlLine::Dtr, on); }

bool PortEngine::SetRts(bool on) { return IsOpen() && device_->SetControlLine(ControlLine::Rts, on); }

bool PortEngine::SendBreak(std::chrono::milliseconds duration)
{
    if (!IsOpen() || !device_->SetBreak(true)) {
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + duration;
    breakEnd_ = std::max<std::chrono::steady_clock::rep>(end.time_since_epoch().count(), 1);
    device_->WakeWait();
    return true;
}

bool PortEngine::CheckDevice()
{
    if (!IsOpen()) {
        return false;
    }
    const bool present = device_->CheckPresence();
    NoticeLoss();
    return present;
}
