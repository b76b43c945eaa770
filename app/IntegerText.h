#pragma once

#include <optional>
#include <string_view>

// Reads a signed decimal whole number the way the window's number fields accept it: blanks
// around it, an optional sign, at least one digit, nothing else, within the range of int.
std::optional<int> ParseInteger(std::string_view text);
