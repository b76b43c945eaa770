#pragma once

#include <chrono>
#include <string>

// When bytes were read or written: a monotonic time to measure silences with, and the
// wall-clock time that is shown.
struct ReadTime {
    std::chrono::steady_clock::time_point monotonic;
    std::chrono::system_clock::time_point wall;
};

// Source of read times; tests give their own to step time without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    virtual ReadTime Now() const = 0;
};

class SystemClock final : public Clock {
public:
    ReadTime Now() const override;
};

// "HH:MM:SS.mmm" of `wall` in local time.
std::string FormatTimeOfDay(std::chrono::system_clock::time_point wall);
