// Feeds arbitrary file contents to the profile reader and writer. The input is
// "section\nkey\nvalue\n" followed by the file's bytes. Reading must never fail; after a
// write of a plain value, reading gives that value back, and writing it again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ProfileText.h"

namespace {

std::string_view TakeLine(std::string_view& input)
{
    const std::size_t newline = input.find('\n');
    const std::string_view line = input.substr(0, newline);
    input.remove_prefix(newline == std::string_view::npos ? input.size() : newline + 1);
    return line;
}

bool IsPlainName(std::string_view name)
{
    if (name.empty() || name.front() == ' ' || name.back() == ' ' || name.front() == ';' || name.front() == '#' ||
        name.front() == '[') {
        return false;
    }
    return name.find_first_of("\r\n\t=]\"'") == std::string_view::npos;
}

bool IsPlainValue(std::string_view value)
{
    return value.find_first_of("\r\n\t\"'") == std::string_view::npos && (value.empty() || (value.front() != ' ' && value.back() != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view section = TakeLine(input);
    const std::string_view key = TakeLine(input);
    const std::string_view value = TakeLine(input);
    const std::string_view text = input;

    const std::optional<std::string> found = FindProfileValue(text, section, key);
    if (found) {
        ParseDecimalPrefix(*found);
    }
    const std::string written = SetProfileValue(text, section, key, value);
    if (IsPlainName(section) && IsPlainName(key) && IsPlainValue(value) &&
        (FindProfileValue(written, section, key) != std::string(value) || SetProfileValue(written, section, key, value) != written)) {
        std::abort();
    }
    return 0;
}
