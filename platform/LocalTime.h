#pragma once

#include <ctime>

// The calendar time of `time` in the local time zone, safe to call from any thread.
std::tm LocalTime(std::time_t time);
