#include "traffic/Clock.h"

#include <cstdio>
#include <ctime>

#include "platform/LocalTime.h"

ReadTime SystemClock::Now() const
{
    return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
}

std::string FormatTimeOfDay(std::chrono::system_clock::time_point wall)
{
    const auto sinceEpoch = wall.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t time = static_cast<std::time_t>(seconds.count());
    const std::tm local = LocalTime(time);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds));
    return text;
}
