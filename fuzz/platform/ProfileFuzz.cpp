// Feeds arbitrary file contents to the profile document. The input is
// "section\nkey\nvalue\n" followed by the file's bytes. Reading must never fail and the key
// lookup must agree with the walk over the section's keys; after a write of a plain value,
// reading gives that value back, and writing it again changes nothing. Several keys set
// together give the text that setting them one after another gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProfileDocument.h"
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

std::string WithAsciiCaseFlipped(std::string_view text)
{
    std::string flipped(text);
    for (char& character : flipped) {
        if (character >= 'a' && character <= 'z') {
            character = static_cast<char>(character - 'a' + 'A');
        } else if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return flipped;
}

// Sets of several keys, among them the input's and a second spelling of it, given together
// and one by one.
void CheckSetTogether(std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<ProfileEntry> entries = {
        {"Port", 1}, {std::string(key), std::string(value)}, {"New", std::string(value)},
        {WithAsciiCaseFlipped(key), "again"}, {"Port", std::string(key)},
    };
    ProfileDocument together{std::string(text)};
    together.Set(section, entries);
    ProfileDocument oneByOne{std::string(text)};
    for (const ProfileEntry& entry : entries) {
        oneByOne.Set(section, entry.key, entry.value);
    }
    if (together.Text() != oneByOne.Text()) {
        std::abort();
    }
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

    ProfileDocument document{std::string(text)};
    const std::optional<std::string_view> found = document.Find(section, key);
    if (found) {
        ParseDecimalPrefix(*found);
    }
    std::optional<std::string_view> firstVisited;
    document.ForEachKey(section, [&](std::string_view name, std::string_view visitedValue) {
        if (!firstVisited && ProfileNamesEqual(name, key)) {
            firstVisited = visitedValue;
        }
    });
    if (found != firstVisited) {
        std::abort();
    }
    document.Set(section, key, value);
    const std::string written = document.Text();
    document.Set(section, key, value);
    if (IsPlainName(section) && IsPlainName(key) && IsPlainValue(value) &&
        (document.Find(section, key) != value || document.Text() != written)) {
        std::abort();
    }
    CheckSetTogether(text, section, key, value);
    return 0;
}
