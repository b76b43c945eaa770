#pragma once

#include <chrono>
#include <ctime>
#include <mutex>

#include "traffic/Clock.h"

// A clock that stands still until the test moves it; it starts at 12:34:56.789 local time. A
// port's monitor thread may read it while the test moves it.
class ManualClock final : public Clock {
public:
    ManualClock() : now_(Start()) {}

    static ReadTime Start()
    {
        return {std::chrono::steady_clock::time_point(std::chrono::hours(1)), LocalTime(12, 34, 56, 789)};
    }

    ReadTime Now() const override
    {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void Advance(std::chrono::milliseconds step)
    {
        std::lock_guard lock(mutex_);
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
    mutable std::mutex mutex_;
    ReadTime now_;
};
