#include "platform/PolledDevice.h"

#include <cerrno>
#include <windows.h>

#include "platform/win32/Win32Text.h"

void PolledDevice::WakeWait()
{
    if (wakeEvent_ != nullptr) {
        ::SetEvent(wakeEvent_);
    }
}

bool PolledDevice::OpenWakeUps()
{
    CloseWakeUps();
    ForgetSettings();
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

NativeSignal PolledDevice::WakeSignal() const { return wakeEvent_; }

void PolledDevice::DrainWakeUps()
{
    if (wakeEvent_ != nullptr) {
        ::ResetEvent(wakeEvent_);
    }
}
