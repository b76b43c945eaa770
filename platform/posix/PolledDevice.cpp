#include "platform/PolledDevice.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

void PolledDevice::WakeWait()
{
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

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

NativeSignal PolledDevice::WakeSignal() const { return wakeFd_; }

void PolledDevice::DrainWakeUps()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
}
