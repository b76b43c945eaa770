#include "platform/PolledDevice.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

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

void PolledDevice::WakeWait() { SignalEventDescriptor(wakeFd_); }

bool PolledDevice::OpenWakeUps()
{
    CloseWakeUps();
    eventMask_ = 0;
    maskChanged_ = false;
    {
        std::lock_guard lock(timeoutsMutex_);
        timeouts_ = {};
    }
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wakeFd_ >= 0;
}

void PolledDevice::CloseWakeUps()
{
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

void PolledDevice::DrainWakeUps() { DrainEventDescriptor(wakeFd_); }

void PolledDevice::DrainEventDescriptor(int descriptor)
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(descriptor, &count, sizeof count);
}

void PolledDevice::SignalEventDescriptor(int descriptor)
{
    if (descriptor >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(descriptor, &one, sizeof one);
    }
}
