#include "platform/Signal.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

Signal::Signal() : native_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Signal::~Signal()
{
    if (native_ >= 0) {
        ::close(native_);
    }
}

bool Signal::Valid() const { return native_ >= 0; }

void Signal::Raise()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(native_, &one, sizeof one);
}

void Signal::Lower()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(native_, &count, sizeof count);
}

NativeSignal Signal::Native() const { return native_; }
