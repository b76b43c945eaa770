#include "platform/PolledDevice.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

void PolledDevice::WakeWait() { SignalEventDescriptor(wakeFd_); }

bool PolledDevice::OpenWakeUps()
{
    CloseWakeUps();
    ForgetSettings();
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
