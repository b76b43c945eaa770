#include "platform/ProfileText.h"

#include <cstdint>
#include <vector>

#include "platform/CodePage.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

unsigned char FoldAscii(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// One line of the file: its bytes with and without the line ending.
struct Line {
    std::string_view raw;
    std::string_view content;
};

std::vector<Line> SplitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
        std::string_view raw = text.substr(start, end - start);
        std::string_view content = raw;
        if (!content.empty() && content.back() == '\n') {
            content.remove_suffix(1);
        }
        if (!content.empty() && content.back() == '\r') {
            content.remove_suffix(1);
        }
        lines.push_back({raw, content});
        start = end;
    }
    return lines;
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, blanks and quotes removed
};

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

ParsedLine ParseLine(std::string_view content)
{
    const std::string_view line = TrimBlanks(content);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return {};
    }
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        const std::string_view name = close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
        return {LineKind::Section, TrimBlanks(name), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    return {LineKind::Key, TrimBlanks(line.substr(0, equals)), Unquote(TrimBlanks(line.substr(equals + 1)))};
}

struct KeyLocation {
    std::optional<std::size_t> keyLine;          // the key's line
    std::optional<std::size_t> sectionLastLine;  // last non-blank line of the first matching section
};

KeyLocation LocateKey(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    KeyLocation location;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const ParsedLine parsed = ParseLine(lines[index].content);
        if (parsed.kind == LineKind::Section) {
            inSection = ProfileNamesEqual(parsed.name, section);
            inFirstSection = inSection && !location.sectionLastLine;
            if (inFirstSection) {
                location.sectionLastLine = index;
            }
            continue;
        }
        if (inFirstSection && !TrimBlanks(lines[index].content).empty()) {
            location.sectionLastLine = index;
        }
        if (inSection && parsed.kind == LineKind::Key && ProfileNamesEqual(parsed.name, key)) {
            location.keyLine = index;
            return location;
        }
    }
    return location;
}

std::string_view LineEndingOf(std::string_view text)
{
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) {
        return "\r\n";
    }
    return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

// Ends the last line of `result` with `newline` unless it has a line ending already; a lone CR
// at the very end of a file is the start of an ending and is completed, not doubled.
void EndLastLine(std::string& result, std::string_view newline)
{
    if (result.empty() || result.back() == '\n') {
        return;
    }
    if (result.back() == '\r') {
        result.pop_back();
    }
    result += newline;
}

}  // namespace

bool ProfileNamesEqual(std::string_view left, std::string_view right)
{
    if (left.size() != right.size()) {
        return false;
    }
    std::size_t offset = 0;
    while (offset < left.size()) {
        const std::size_t length = GbkCharLength(left, offset);
        if (length == 2) {
            if (left.substr(offset, 2) != right.substr(offset, 2)) {
                return false;
            }
        } else if (FoldAscii(static_cast<unsigned char>(left[offset])) !=
                   FoldAscii(static_cast<unsigned char>(right[offset]))) {
            return false;
        }
        offset += length;
    }
    return true;
}

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = SplitLines(text);
    const KeyLocation location = LocateKey(lines, section, key);
    if (!location.keyLine) {
        return std::nullopt;
    }
    return std::string(ParseLine(lines[*location.keyLine].content).value);
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = SplitLines(text);
    const KeyLocation location = LocateKey(lines, section, key);
    const std::string_view newline = LineEndingOf(text);
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    std::string result;
    result.reserve(text.size() + keyLine.size() + section.size() + 8);
    if (location.keyLine) {
        for (std::size_t index = 0; index < lines.size(); ++index) {
            if (index == *location.keyLine) {
                result += keyLine;
                result += lines[index].raw.substr(lines[index].content.size());
            } else {
                result += lines[index].raw;
            }
        }
        if (*location.keyLine + 1 == lines.size()) {
            EndLastLine(result, newline);
        }
        return result;
    }
    if (location.sectionLastLine) {
        for (std::size_t index = 0; index < lines.size(); ++index) {
            result += lines[index].raw;
            if (index == *location.sectionLastLine) {
                EndLastLine(result, newline);
                result += keyLine;
                result += newline;
            }
        }
        return result;
    }
    result.append(text);
    EndLastLine(result, newline);
    if (!lines.empty() && !TrimBlanks(lines.back().content).empty()) {
        result += newline;
    }
    result += "[" + std::string(section) + "]";
    result += newline;
    result += keyLine;
    result += newline;
    return result;
}

int ParseDecimalPrefix(std::string_view value)
{
    std::size_t position = value.find_first_not_of(" \t\r\n\v\f");
    if (position == std::string_view::npos) {
        return 0;
    }
    bool negative = false;
    if (value[position] == '+' || value[position] == '-') {
        negative = value[position] == '-';
        ++position;
    }
    std::uint32_t number = 0;
    for (; position < value.size() && value[position] >= '0' && value[position] <= '9'; ++position) {
        number = number * 10u + static_cast<std::uint32_t>(value[position] - '0');
    }
    if (negative) {
        number = 0u - number;
    }
    return static_cast<int>(number);
}
