#include "platform/PolledDevice.h"

#include <cerrno>
#include <windows.h>

#include "platform/win32/Win32Text.h"

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

void PolledDevice::WakeWait()
{
    if (wakeEvent_ != nullptr) {
        ::SetEvent(wakeEvent_);
    }
}

bool PolledDevice::OpenWakeUps()
{
    CloseWakeUps();
    eventMask_ = 0;
    maskChanged_ = false;
    {
        std::lock_guard lock(timeoutsMutex_);
        timeouts_ = {};
    }
    wakeEvent_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (wakeEvent_ == nullptr) {
        ErrnoFromLastError();
        return false;
    }
    return true;
}

void PolledDevice::CloseWakeUps()
{
    if (wakeEvent_ != nullptr) {
        ::CloseHandle(wakeEvent_);
        wakeEvent_ = nullptr;
    }
}
