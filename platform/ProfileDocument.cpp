#include "platform/ProfileDocument.h"

#include "platform/ProfileText.h"

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

// One line as offsets into the text: its content leaves out the LF that ends it and one CR
// before that (or a lone CR at the very end of the text).
struct LineSpan {
    std::size_t start = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;  // after the line ending
};

class LineWalker {
public:
    explicit LineWalker(std::string_view text) : text_(text) {}

    bool Next(LineSpan& line)
    {
        if (position_ >= text_.size()) {
            return false;
        }
        const std::size_t newline = text_.find('\n', position_);
        line.start = position_;
        line.end = newline == std::string_view::npos ? text_.size() : newline + 1;
        line.contentEnd = newline == std::string_view::npos ? text_.size() : newline;
        if (line.contentEnd > line.start && text_[line.contentEnd - 1] == '\r') {
            --line.contentEnd;
        }
        position_ = line.end;
        return true;
    }

    std::string_view Content(const LineSpan& line) const
    {
        return text_.substr(line.start, line.contentEnd - line.start);
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

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

// Walks the key lines of the sections named `section`; `visit(line, parsed)` returns true to stop.
template <typename Visit>
void WalkSectionKeys(std::string_view text, std::string_view section, Visit&& visit)
{
    LineWalker walker(text);
    LineSpan line;
    bool inSection = false;
    while (walker.Next(line)) {
        const ParsedLine parsed = ParseLine(walker.Content(line));
        if (parsed.kind == LineKind::Section) {
            inSection = ProfileNamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && visit(line, parsed)) {
            return;
        }
    }
}

struct KeyLocation {
    std::optional<LineSpan> keyLine;          // the key's line
    std::optional<LineSpan> sectionLastLine;  // last non-blank line of the first matching section
};

KeyLocation LocateKey(std::string_view text, std::string_view section, std::string_view key)
{
    KeyLocation location;
    LineWalker walker(text);
    LineSpan line;
    bool inSection = false;
    bool inFirstSection = false;
    while (walker.Next(line)) {
        const std::string_view content = walker.Content(line);
        const ParsedLine parsed = ParseLine(content);
        if (parsed.kind == LineKind::Section) {
            inSection = ProfileNamesEqual(parsed.name, section);
            inFirstSection = inSection && !location.sectionLastLine;
            if (inFirstSection) {
                location.sectionLastLine = line;
            }
            continue;
        }
        if (inFirstSection && !TrimBlanks(content).empty()) {
            location.sectionLastLine = line;
        }
        if (inSection && parsed.kind == LineKind::Key && ProfileNamesEqual(parsed.name, key)) {
            location.keyLine = line;
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

// Ends the last line of `text` with `newline` unless it has a line ending already; a lone CR
// at the very end is the start of an ending and is completed, not doubled.
void EndLastLine(std::string& text, std::string_view newline)
{
    if (text.empty() || text.back() == '\n') {
        return;
    }
    if (text.back() == '\r') {
        text.pop_back();
    }
    text += newline;
}

bool LastLineIsBlank(std::string_view text)
{
    std::string_view last = text;
    if (last.ends_with('\n')) {
        last.remove_suffix(1);
    }
    const std::size_t newline = last.rfind('\n');
    if (newline != std::string_view::npos) {
        last.remove_prefix(newline + 1);
    }
    if (last.ends_with('\r')) {
        last.remove_suffix(1);
    }
    return TrimBlanks(last).empty();
}

}  // namespace

std::string ProfileStringValue(std::string_view value, std::size_t bufferSize)
{
    value = value.substr(0, value.find('\0'));
    if (bufferSize == 0) {
        return {};
    }
    return std::string(value.substr(0, bufferSize - 1));
}

std::optional<std::string_view> ProfileDocument::Find(std::string_view section, std::string_view key) const
{
    std::optional<std::string_view> value;
    WalkSectionKeys(text_, section, [&](const LineSpan&, const ParsedLine& parsed) {
        if (ProfileNamesEqual(parsed.name, key)) {
            value = parsed.value;
        }
        return value.has_value();
    });
    return value;
}

int ProfileDocument::Int(std::string_view section, std::string_view key, int defaultValue) const
{
    const std::optional<std::string_view> value = Find(section, key);
    if (!value || value->empty()) {
        return defaultValue;
    }
    return ParseDecimalPrefix(*value);
}

std::string ProfileDocument::String(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    std::size_t bufferSize) const
{
    return ProfileStringValue(Find(section, key).value_or(defaultValue), bufferSize);
}

void ProfileDocument::ForEachKey(std::string_view section,
                                 const std::function<void(std::string_view key, std::string_view value)>& visit) const
{
    WalkSectionKeys(text_, section, [&](const LineSpan&, const ParsedLine& parsed) {
        visit(parsed.name, parsed.value);
        return false;
    });
}

void ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    const KeyLocation location = LocateKey(text_, section, key);
    const std::string newline(LineEndingOf(text_));
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    if (location.keyLine) {
        const LineSpan& line = *location.keyLine;
        const bool lastLine = line.end == text_.size();
        text_.replace(line.start, line.contentEnd - line.start, keyLine);
        if (lastLine) {
            EndLastLine(text_, newline);
        }
        return;
    }
    if (location.sectionLastLine) {
        const std::size_t end = location.sectionLastLine->end;
        if (end == text_.size()) {
            EndLastLine(text_, newline);
            text_ += keyLine + newline;
        } else {
            text_.insert(end, keyLine + newline);
        }
        return;
    }
    const bool separate = !text_.empty() && !LastLineIsBlank(text_);
    EndLastLine(text_, newline);
    if (separate) {
        text_ += newline;
    }
    text_ += "[" + std::string(section) + "]" + newline + keyLine + newline;
}

void ProfileDocument::Set(std::string_view section, std::string_view key, int value)
{
    Set(section, key, std::to_string(value));
}
