#pragma once

#include <optional>
#include <string>

// Reads a GBK text as a date, a time or both, in the user's locale formats (short and long)
// or the usual numeric forms ("2024-03-05", "2024/3/5 14:30:00", "14:30"). Returns the moment
// as days since 30 December 1899 with the time of day as the fraction (a time alone falls on
// that day), or nothing when the text is not a date.
std::optional<double> ParseLocaleDateTime(const std::string& gbkText);
