#include "platform/Signal.h"

#include <windows.h>

Signal::Signal() : native_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Signal::~Signal()
{
    if (native_ != nullptr) {
        ::CloseHandle(native_);
    }
}

bool Signal::Valid() const { return native_ != nullptr; }

void Signal::Raise() { ::SetEvent(native_); }

void Signal::Lower() { ::ResetEvent(native_); }

NativeSignal Signal::Native() const { return native_; }
