#include "platform/NetworkDevice.h"

#include <cerrno>

// Network ports are not available in the Windows build yet: Open fails, naming the reason,
// and a device that never opened refuses everything else as not open.

namespace {

bool NotOpen()
{
    errno = EBADF;
    return false;
}

}  // namespace

NetworkDevice::NetworkDevice(NameResolver resolver) : connector_(std::move(resolver)) {}

NetworkDevice::~NetworkDevice() = default;

bool NetworkDevice::Open(const std::string& target)
{
    failureReason_ = target + ": network ports are not available on this system";
    openError_ = {OpenFailure::Other, ENOTSUP};
    errno = ENOTSUP;
    return false;
}

OpenError NetworkDevice::LastOpenError() const { return openError_; }
const std::string& NetworkDevice::FailureReason() const { return failureReason_; }
void NetworkDevice::CancelOpen() { connector_.Cancel(); }
void NetworkDevice::SetOpenTimeout(std::chrono::milliseconds timeout) { openTimeout_ = timeout; }
void NetworkDevice::SetAnswerTimeout(std::chrono::milliseconds timeout) { answerTimeout_ = timeout; }
void NetworkDevice::Close() { connector_.Reset(); }
bool NetworkDevice::IsOpen() const { return false; }
int NetworkDevice::Handle() const { return -1; }
NetworkProtocol NetworkDevice::Protocol() const { return protocol_; }
bool NetworkDevice::IsLost() const { return false; }
bool NetworkDevice::CheckPresence() { return true; }
bool NetworkDevice::GetLineSettings(LineSettings&) const { return NotOpen(); }
bool NetworkDevice::SetLineSettings(const LineSettings&) { return NotOpen(); }
bool NetworkDevice::Purge(unsigned) { return NotOpen(); }

WaitResult NetworkDevice::WaitEvent(const WaitRequest&)
{
    WaitResult result;
    result.hungUp = true;
    return result;
}

bool NetworkDevice::ClearErrors(unsigned&, std::size_t&) { return NotOpen(); }
bool NetworkDevice::GetModemStatus(unsigned&) const { return NotOpen(); }
bool NetworkDevice::InputQueueBytes(std::size_t&) const { return NotOpen(); }
long NetworkDevice::Read(void*, std::size_t) { return NotOpen() ? 0 : -1; }
long NetworkDevice::Write(const void*, std::size_t) { return NotOpen() ? 0 : -1; }
bool NetworkDevice::SetControlLine(ControlLine, bool) { return NotOpen(); }
bool NetworkDevice::SetBreak(bool) { return NotOpen(); }
bool NetworkDevice::GetLineCounters(LineCounters&) const { return NotOpen(); }
