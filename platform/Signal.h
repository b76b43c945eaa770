#pragma once

// What a thread waits on beside a device: an eventfd on Linux, an event on Windows.
#ifdef _WIN32
using NativeSignal = void*;
inline constexpr NativeSignal kNoSignal = nullptr;
#else
using NativeSignal = int;
inline constexpr NativeSignal kNoSignal = -1;
#endif

// A flag one thread raises to end another thread's waits (see Socket::Wait). It stays raised
// until lowered.
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    // False when the system gave nothing to signal with.
    bool Valid() const;
    void Raise();
    void Lower();
    NativeSignal Native() const;

private:
    NativeSignal native_;
};
