#pragma once

#include <chrono>
#include <ctime>

#include "traffic/Clock.h"

// A clock that stands still until the test moves it; it starts at 12:34:56.789 local time.
class ManualClock final : public Clock {
public:
    ManualClock() : now_{std::chrono::steady_clock::time_point(std::chrono::hours(1)), LocalTime(12, 34, 56, 789)} {}

    ReadTime Now() const override { return now_; }
    void Advance(std::chrono::milliseconds step)
    {
        now_.monotonic += step;
        now_.wall += step;
    }

    static std::chrono::system_clock::time_point LocalTime(int hour, int minute, int second, int millisecond)
    {
        std::tm local{};
        local.tm_year = 124;
        local.tm_mday = 15;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(millisecond);
    }

private:
    ReadTime now_;
};
