#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text of a private-profile (INI) file, as GBK bytes:
//
//   [Section]          a section header; blanks around the name do not count
//   Key=Value          a key of the section above; blanks around key and value do not count,
//                      and one pair of matching quotes around the value is removed
//   ;comment, #comment and lines without '=' are kept but are not keys
//
// Lines end with LF or CR LF. Section and key names match without regard to the case of
// ASCII letters; two-byte GBK characters match only byte for byte.

// The value of the first `key` of the first section named `section` that has that key.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section, std::string_view key);

// The text with `key` of `section` set to `value`: the key's line is replaced when it exists,
// else the key goes after the last line of the section, else the section is appended. Every
// other line stays byte for byte; new lines take the text's line ending (CR LF for an empty text).
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value);

// The decimal rule of the profile integer read and of the scheme file's numbers: leading
// blanks, an optional sign, then decimal digits up to the first non-digit ("abc" gives 0);
// arithmetic wraps around in 32 bits.
int ParseDecimalPrefix(std::string_view value);

// Whether two names are the same for the profile file.
bool ProfileNamesEqual(std::string_view left, std::string_view right);
