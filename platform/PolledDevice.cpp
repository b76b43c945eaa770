#include "platform/PolledDevice.h"

#include <cerrno>

PolledDevice::~PolledDevice() { CloseWakeUps(); }

bool PolledDevice::SetQueueSizes(std::size_t, std::size_t)
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    return true;
}

bool PolledDevice::GetTimeouts(CommTimeouts& timeouts) const
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(timeoutsMutex_);
    timeouts = timeouts_;
    return true;
}

bool PolledDevice::SetTimeouts(const CommTimeouts& timeouts)
{
    if (!IsOpen()) {
        errno = EBADF;
        return false;
    }
    std::lock_guard lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

bool PolledDevice::SetEventMask(unsigned mask)
{
    if (!IsOpen() || (mask & ~kAllPortEvents) != 0) {
        errno = IsOpen() ? EINVAL : EBADF;
        return false;
    }
    eventMask_ = mask;
    maskChanged_ = true;
    WakeWait();
    return true;
}

unsigned PolledDevice::EventMask() const { return eventMask_; }

void PolledDevice::ForgetSettings()
{
    eventMask_ = 0;
    maskChanged_ = false;
    std::lock_guard lock(timeoutsMutex_);
    timeouts_ = {};
}
