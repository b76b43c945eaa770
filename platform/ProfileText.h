#pragma once

#include <string_view>

// Rules shared by the private-profile file (ProfileDocument.h) and the scheme file.

// The decimal rule of the profile integer read and of the scheme file's numbers: leading
// blanks, an optional sign, then decimal digits up to the first non-digit ("abc" gives 0);
// arithmetic wraps around in 32 bits.
int ParseDecimalPrefix(std::string_view value);

// Whether two names are the same for the profile file: ASCII letters match without regard to
// their case, two-byte GBK characters only byte for byte.
bool ProfileNamesEqual(std::string_view left, std::string_view right);
