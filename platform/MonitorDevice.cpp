#include "platform/MonitorDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/VirtualTarget.h"

namespace {

constexpr std::size_t kPieceSize = 4096;
constexpr unsigned kDeviceEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

// Copies all `count` bytes into the ring, which has room for them.
void Put(ReadAheadBuffer& ring, const unsigned char* bytes, std::size_t count)
{
    std::size_t copied = 0;
    while (copied < count) {
        const std::span<unsigned char> space = ring.FreeSpace(copied);
        const std::size_t piece = std::min(space.size(), count - copied);
        std::memcpy(space.data(), bytes + copied, piece);
        copied += piece;
    }
    ring.Commit(count);
}

// The program's settings as they travel to the device: what a pseudo-terminal keeps of them.
bool SameLine(const LineSettings& a, const LineSettings& b)
{
    return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits &&
           a.xonXoff == b.xonXoff && a.ctsHandshake == b.ctsHandshake;
}

}  // namespace

MonitorDevice::MonitorDevice(std::unique_ptr<Device> device) : device_(std::move(device)) {}

MonitorDevice::~MonitorDevice() { Close(); }

bool MonitorDevice::Fail(const OpenError& error)
{
    Close();
    openError_ = error;
    errno = error.systemError;
    return false;
}

bool MonitorDevice::Open(const std::string& target)
{
    Close();
    openError_ = {};
    VirtualTarget parsed;
    std::string reason;
    if (device_ == nullptr || !ParseVirtualTarget(target, parsed, reason) || !parsed.IsMonitor()) {
        return Fail({OpenFailure::BadVirtualPort, EINVAL});
    }
    if (!device_->Open(parsed.device)) {
        return Fail(device_->LastOpenError());
    }
    if (!program_.Open(VirtualTargetText({parsed.name, {}}))) {
        return Fail(program_.LastOpenError());
    }
    if (!device_->SetEventMask(kDeviceEvents) || !program_.SetEventMask(EV_RXCHAR) || !program_.GetLineSettings(programLine_)) {
        return Fail({OpenFailure::Other, errno});
    }
    try {
        StartPumps();
    } catch (const std::system_error& error) {
        return Fail({OpenFailure::Other, error.code().value()});
    }
    open_ = true;
    return true;
}

void MonitorDevice::StartPumps()
{
    for (ReadAheadBuffer* ring : {&toDevice_, &toProgram_, &fromOwner_, &received_, &passedOn_}) {
        ring->Reset();
    }
    deviceCarry_ = {};
    programCarry_ = {};
    stop_ = false;
    lost_ = false;
    passedOnReported_ = false;
    {
        std::lock_guard lock(waitMutex_);
        pendingEvents_ = 0;
        wakeRequested_ = false;
    }
    devicePump_ = std::thread(&MonitorDevice::PumpDeviceSide, this);
    programPump_ = std::thread(&MonitorDevice::PumpProgramSide, this);
}

void MonitorDevice::StopPumps()
{
    stop_ = true;
    if (devicePump_.joinable()) {
        device_->WakeWait();
        devicePump_.join();
    }
    if (programPump_.joinable()) {
        program_.WakeWait();
        programPump_.join();
    }
}

void MonitorDevice::CancelOpen()
{
    if (device_ != nullptr) {
        device_->CancelOpen();
    }
}

void MonitorDevice::Close()
{
    StopPumps();
    open_ = false;
    program_.Close();
    if (device_ != nullptr) {
        device_->Close();
    }
}

int MonitorDevice::Handle() const { return device_ != nullptr ? device_->Handle() : -1; }

bool MonitorDevice::CheckPresence()
{
    if (open_ && !device_->CheckPresence()) {
        MarkLost();
    }
    return !lost_;
}

void MonitorDevice::MarkLost()
{
    lost_ = true;
    Signal();
}

void MonitorDevice::Signal(unsigned events)
{
    {
        std::lock_guard lock(waitMutex_);
        pendingEvents_ |= events;
        wakeRequested_ = wakeRequested_ || events == 0;
    }
    waitCondition_.notify_all();
}

void MonitorDevice::Release(std::atomic<bool>& held, Device& side)
{
    if (held.exchange(false)) {
        side.WakeWait();
    }
}

// The device's side: what it sends goes to the program and to the owner's copy; what the
// program and the owner send is written to it.
void MonitorDevice::PumpDeviceSide()
{
    while (!stop_) {
        const bool read = MoveDeviceInput();
        const bool written = WriteToDevice();
        if (device_->IsLost()) {
            break;
        }
        if (read || written) {
            continue;
        }
        deviceSideHeld_ = true;
        WaitRequest request;
        request.watchInput = toProgram_.Room() > 0 && received_.Room() > 0;
        if (request.watchInput) {
            deviceSideHeld_ = false;
        }
        request.watchOutputRoom = !deviceCarry_.Empty() || toDevice_.Size() > 0 || fromOwner_.Size() > 0;
        const WaitResult result = device_->WaitEvent(request);
        if (const unsigned lineEvents = result.events & ~EV_RXCHAR) {
            Signal(lineEvents);
        }
        if (result.hungUp) {
            // What it still held is passed on before the loss is told.
            while (MoveDeviceInput()) {
            }
            break;
        }
    }
    if (!stop_) {
        MarkLost();
    }
}

bool MonitorDevice::MoveDeviceInput()
{
    unsigned char buffer[kPieceSize];
    const std::size_t room = std::min({toProgram_.Room(), received_.Room(), sizeof buffer});
    const long count = room > 0 ? device_->Read(buffer, room) : 0;
    if (count <= 0) {
        return false;
    }
    const auto bytes = static_cast<std::size_t>(count);
    Put(toProgram_, buffer, bytes);
    program_.WakeWait();
    Put(received_, buffer, bytes);
    Signal(EV_RXCHAR);
    return true;
}

// The program's bytes and the owner's take turns, a piece at a time.
bool MonitorDevice::WriteToDevice()
{
    if (deviceCarry_.Empty()) {
        ReadAheadBuffer* rings[] = {&toDevice_, &fromOwner_};
        if (ownerTurn_) {
            std::swap(rings[0], rings[1]);
        }
        for (ReadAheadBuffer* ring : rings) {
            deviceCarry_.bytes.resize(kPieceSize);
            deviceCarry_.bytes.resize(ring->Take(deviceCarry_.bytes.data(), kPieceSize));
            deviceCarry_.written = 0;
            if (!deviceCarry_.Empty()) {
                ownerTurn_ = ring == &toDevice_;
                if (ring == &toDevice_) {
                    Release(programSideHeld_, program_);
                } else {
                    Signal(fromOwner_.Size() == 0 ? EV_TXEMPTY : 0);
                }
                break;
            }
        }
    }
    return WriteCarry(*device_, deviceCarry_);
}

bool MonitorDevice::WriteCarry(Device& to, Carry& carry)
{
    if (carry.Empty()) {
        return false;
    }
    const long count = to.Write(carry.bytes.data() + carry.written, carry.bytes.size() - carry.written);
    if (count < 0) {
        MarkLost();
        return false;
    }
    carry.written += static_cast<std::size_t>(count);
    return count > 0;
}

// The program's side: what it writes goes to the device and to the owner's copy of it; what
// the device sent is written to it.
void MonitorDevice::PumpProgramSide()
{
    while (!stop_) {
        const bool read = MoveProgramInput();
        const bool written = WriteToProgram();
        if (program_.IsLost()) {
            MarkLost();
            break;
        }
        if (read || written) {
            continue;
        }
        programSideHeld_ = true;
        WaitRequest request;
        request.watchInput = toDevice_.Room() > 0 && passedOn_.Room() > 0;
        if (request.watchInput) {
            programSideHeld_ = false;
        }
        request.watchOutputRoom = !programCarry_.Empty() || toProgram_.Size() > 0;
        request.timeoutMs = kSettingsLookMs;
        program_.WaitEvent(request);
        LookAtProgramSettings();
    }
}

bool MonitorDevice::MoveProgramInput()
{
    unsigned char buffer[kPieceSize];
    const std::size_t room = std::min({toDevice_.Room(), passedOn_.Room(), sizeof buffer});
    const long count = room > 0 ? program_.Read(buffer, room) : 0;
    if (count <= 0) {
        return false;
    }
    // Settings the program set before it wrote these bytes apply to them.
    LookAtProgramSettings();
    const auto bytes = static_cast<std::size_t>(count);
    Put(toDevice_, buffer, bytes);
    device_->WakeWait();
    Put(passedOn_, buffer, bytes);
    if (!passedOnReported_.exchange(true)) {
        Signal(EV_PASSED_ON);
    }
    return true;
}

bool MonitorDevice::WriteToProgram()
{
    if (programCarry_.Empty()) {
        programCarry_.bytes.resize(kPieceSize);
        programCarry_.bytes.resize(toProgram_.Take(programCarry_.bytes.data(), kPieceSize));
        programCarry_.written = 0;
        if (!programCarry_.Empty()) {
            Release(deviceSideHeld_, *device_);
        }
    }
    return WriteCarry(program_, programCarry_);
}

void MonitorDevice::LookAtProgramSettings()
{
    LineSettings now;
    if (!program_.GetLineSettings(now) || SameLine(now, programLine_)) {
        return;
    }
    programLine_ = now;
    LineSettings applied;
    if (!device_->GetLineSettings(applied)) {
        return;
    }
    applied.baudRate = now.baudRate;
    applied.parity = now.parity;
    applied.dataBits = now.dataBits;
    applied.stopBits = now.stopBits;
    applied.xonXoff = now.xonXoff;
    applied.ctsHandshake = now.ctsHandshake;
    device_->SetLineSettings(applied);
}

bool MonitorDevice::SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes)
{
    return device_->SetQueueSizes(inputBytes, outputBytes);
}

bool MonitorDevice::GetTimeouts(CommTimeouts& timeouts) const { return device_->GetTimeouts(timeouts); }

bool MonitorDevice::SetTimeouts(const CommTimeouts& timeouts) { return device_->SetTimeouts(timeouts); }

bool MonitorDevice::GetLineSettings(LineSettings& settings) const { return device_->GetLineSettings(settings); }

bool MonitorDevice::SetLineSettings(const LineSettings& settings) { return device_->SetLineSettings(settings); }

bool MonitorDevice::Purge(unsigned flags)
{
    if ((flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0) {
        errno = EINVAL;
        return false;
    }
    if ((flags & PURGE_RXCLEAR) != 0) {
        received_.Discard();
        Release(deviceSideHeld_, *device_);
    }
    if ((flags & PURGE_TXCLEAR) != 0) {
        unsigned char scrap[kPieceSize];
        while (fromOwner_.Take(scrap, sizeof scrap) > 0) {
        }
    }
    return true;
}

bool MonitorDevice::SetEventMask(unsigned mask)
{
    if (!open_ || (mask & ~kAllPortEvents) != 0) {
        errno = open_ ? EINVAL : EBADF;
        return false;
    }
    mask_ = mask;
    Signal();
    return true;
}

WaitResult MonitorDevice::WaitEvent(const WaitRequest& request)
{
    WaitResult result;
    std::unique_lock lock(waitMutex_);
    const auto ready = [&] {
        const unsigned mask = mask_;
        return wakeRequested_ || lost_ || (pendingEvents_ & mask & ~EV_RXCHAR) != 0 ||
               (request.watchInput && (mask & EV_RXCHAR) != 0 && received_.Size() > 0) ||
               (request.watchOutputRoom && fromOwner_.Room() > 0);
    };
    if (request.timeoutMs < 0) {
        waitCondition_.wait(lock, ready);
    } else {
        waitCondition_.wait_for(lock, std::chrono::milliseconds(request.timeoutMs), ready);
    }
    const unsigned mask = mask_;
    wakeRequested_ = false;
    result.events = pendingEvents_ & mask & ~EV_RXCHAR;
    pendingEvents_ = 0;
    if (request.watchInput && (mask & EV_RXCHAR) != 0 && received_.Size() > 0) {
        result.events |= EV_RXCHAR;
    }
    result.hungUp = lost_;
    result.outputRoom = request.watchOutputRoom && (fromOwner_.Room() > 0 || lost_);
    return result;
}

void MonitorDevice::WakeWait() { Signal(); }

bool MonitorDevice::ClearErrors(unsigned& errors, std::size_t& inputQueueCount)
{
    std::size_t deviceQueue = 0;
    if (!open_ || !device_->ClearErrors(errors, deviceQueue)) {
        errno = open_ ? errno : EBADF;
        return false;
    }
    inputQueueCount = received_.Size();
    return true;
}

bool MonitorDevice::GetModemStatus(unsigned& status) const { return device_->GetModemStatus(status); }

bool MonitorDevice::InputQueueBytes(std::size_t& count) const
{
    count = received_.Size();
    return open_;
}

bool MonitorDevice::SetControlLine(ControlLine line, bool on) { return device_->SetControlLine(line, on); }

bool MonitorDevice::SetBreak(bool on) { return device_->SetBreak(on); }

bool MonitorDevice::GetLineCounters(LineCounters& counters) const { return device_->GetLineCounters(counters); }

long MonitorDevice::Read(void* buffer, std::size_t size)
{
    const std::size_t count = received_.Take(static_cast<unsigned char*>(buffer), size);
    if (count > 0) {
        Release(deviceSideHeld_, *device_);
    }
    return static_cast<long>(count);
}

long MonitorDevice::Write(const void* bytes, std::size_t size)
{
    if (lost_) {
        errno = EIO;
        return -1;
    }
    const std::size_t count = std::min(size, fromOwner_.Room());
    if (count > 0) {
        Put(fromOwner_, static_cast<const unsigned char*>(bytes), count);
        device_->WakeWait();
    }
    return static_cast<long>(count);
}

// The report flag is cleared before the ring is looked at again, so bytes passed on meanwhile
// are reported anew.
std::size_t MonitorDevice::ReadPassedOn(void* buffer, std::size_t size)
{
    const std::size_t count = passedOn_.Take(static_cast<unsigned char*>(buffer), size);
    if (count > 0) {
        Release(programSideHeld_, program_);
    }
    if (passedOn_.Size() == 0) {
        passedOnReported_ = false;
        if (passedOn_.Size() > 0 && !passedOnReported_.exchange(true)) {
            Signal(EV_PASSED_ON);
        }
    }
    return count;
}
