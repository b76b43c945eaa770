#include "platform/ProfileDocument.h"

#include <algorithm>

#include "platform/ProfileText.h"
#include "platform/WholeFile.h"

namespace {

bool IsBlank(char character) { return character == ' ' || character == '\t'; }

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
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
    std::string_view name;       // section or key name
    std::string_view valueText;  // what follows the key's "=", as written
};

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The key's value: blanks around it and one pair of matching quotes removed.
std::string_view ValueOf(const ParsedLine& line) { return Unquote(TrimBlanks(line.valueText)); }

ParsedLine ParseLine(std::string_view content)
{
    std::size_t first = 0;
    while (first < content.size() && IsBlank(content[first])) {
        ++first;
    }
    if (first == content.size() || content[first] == ';' || content[first] == '#') {
        return {};
    }
    if (content[first] == '[') {
        const std::string_view rest = content.substr(first + 1);
        return {LineKind::Section, TrimBlanks(rest.substr(0, rest.find(']'))), {}};
    }
    const std::size_t equals = content.find('=', first);
    if (equals == std::string_view::npos) {
        return {};
    }
    return {LineKind::Key, TrimBlanks(content.substr(first, equals - first)), content.substr(equals + 1)};
}

// Walks the key lines of the sections named `section`; `visit(parsed)` returns true to stop.
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
        } else if (inSection && parsed.kind == LineKind::Key && visit(parsed)) {
            return;
        }
    }
}

// One key of a Set: what its line says and where that line stands.
struct KeyToSet {
    std::string_view key;
    std::string_view value;
    std::optional<LineSpan> line;  // its first line in the sections, when it has one
};

// Where the keys of one Set stand in the text.
struct SectionScan {
    std::vector<KeyToSet> keys;
    // The last line that is not blank of the first section of that name (its header when it
    // has none); nothing when there is no such section.
    std::optional<LineSpan> firstSectionLastLine;
};

bool AllFound(const std::vector<KeyToSet>& keys)
{
    for (const KeyToSet& key : keys) {
        if (!key.line) {
            return false;
        }
    }
    return true;
}

void LocateKeys(std::string_view text, std::string_view section, SectionScan& scan)
{
    LineWalker walker(text);
    LineSpan line;
    bool inSection = false;
    bool inFirstSection = false;
    while (walker.Next(line)) {
        const ParsedLine parsed = ParseLine(walker.Content(line));
        if (parsed.kind == LineKind::Section) {
            inSection = ProfileNamesEqual(parsed.name, section);
            inFirstSection = inSection && !scan.firstSectionLastLine;
            if (inFirstSection) {
                scan.firstSectionLastLine = line;
            }
            continue;
        }
        if (inFirstSection && !TrimBlanks(walker.Content(line)).empty()) {
            scan.firstSectionLastLine = line;
        }
        if (!inSection || parsed.kind != LineKind::Key) {
            continue;
        }
        for (KeyToSet& key : scan.keys) {
            if (!key.line && ProfileNamesEqual(parsed.name, key.key)) {
                key.line = line;
                if (AllFound(scan.keys)) {
                    return;
                }
                break;
            }
        }
    }
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

std::string KeyLine(const KeyToSet& key) { return std::string(key.key) + "=" + std::string(key.value); }

// A change of the text: `replaced` bytes at `offset` give way to `text`.
struct Splice {
    std::size_t offset = 0;
    std::size_t replaced = 0;
    std::string text;
};

// The text with the keys of `scan` set in `section`: found keys in their lines, the others
// after the first section's last line or in the section appended at the end.
std::string ApplySet(std::string_view text, std::string_view section, const SectionScan& scan)
{
    const std::string_view newline = LineEndingOf(text);
    std::vector<Splice> splices;
    std::string newLines;
    bool lastLineChanged = false;
    for (const KeyToSet& key : scan.keys) {
        if (key.line) {
            splices.push_back({key.line->start, key.line->contentEnd - key.line->start, KeyLine(key)});
            lastLineChanged = lastLineChanged || key.line->end == text.size();
        } else {
            newLines += KeyLine(key) + std::string(newline);
        }
    }
    // New keys go after the first section's last line, ahead of the next line's own change.
    std::sort(splices.begin(), splices.end(), [](const Splice& left, const Splice& right) { return left.offset < right.offset; });
    if (!newLines.empty() && scan.firstSectionLastLine) {
        const Splice insertion{scan.firstSectionLastLine->end, 0, newLines};
        splices.insert(std::lower_bound(splices.begin(), splices.end(), insertion,
                                        [](const Splice& left, const Splice& right) { return left.offset < right.offset; }),
                       insertion);
        newLines.clear();
    }

    std::size_t size = text.size() + newLines.size() + section.size() + 3 * newline.size() + 2;
    for (const Splice& splice : splices) {
        size += splice.text.size();
    }
    std::string result;
    ReserveLargeText(result, size);
    std::size_t copied = 0;
    for (const Splice& splice : splices) {
        result.append(text.substr(copied, splice.offset - copied));
        if (splice.replaced == 0 && splice.offset == text.size()) {
            EndLastLine(result, newline);
        }
        result += splice.text;
        copied = splice.offset + splice.replaced;
    }
    result.append(text.substr(copied));
    if (lastLineChanged) {
        EndLastLine(result, newline);
    }
    if (!newLines.empty()) {
        const bool separate = !text.empty() && !LastLineIsBlank(text);
        EndLastLine(result, newline);
        if (separate) {
            result += newline;
        }
        result += "[" + std::string(section) + "]" + std::string(newline) + newLines;
    }
    return result;
}

// Whether the entry can be set together with others: its line and its section header hold no
// line break and read back as that key and that section, so setting it changes nothing that
// another entry finds. Any other entry is set on its own.
bool CanSetTogether(std::string_view section, const ProfileEntry& entry)
{
    constexpr std::string_view lineBreaks = "\r\n";
    if (section.find_first_of(lineBreaks) != std::string_view::npos ||
        entry.key.find_first_of(lineBreaks) != std::string::npos ||
        entry.value.find_first_of(lineBreaks) != std::string::npos) {
        return false;
    }
    const std::string line = entry.key + "=" + entry.value;
    const std::string header = "[" + std::string(section) + "]";
    const ParsedLine keyLine = ParseLine(line);
    const ParsedLine headerLine = ParseLine(header);
    return keyLine.kind == LineKind::Key && ProfileNamesEqual(keyLine.name, entry.key) &&
           headerLine.kind == LineKind::Section && ProfileNamesEqual(headerLine.name, section);
}

// The distinct keys of `entries` in the order of their first entry, each with the spelling and
// value of its last one: what setting them one after another leaves.
SectionScan ScanFor(const std::vector<ProfileEntry>& entries)
{
    SectionScan scan;
    for (const ProfileEntry& entry : entries) {
        const auto same = std::find_if(scan.keys.begin(), scan.keys.end(),
                                       [&](const KeyToSet& key) { return ProfileNamesEqual(key.key, entry.key); });
        if (same == scan.keys.end()) {
            scan.keys.push_back({entry.key, entry.value, std::nullopt});
        } else {
            same->key = entry.key;
            same->value = entry.value;
        }
    }
    return scan;
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
    WalkSectionKeys(text_, section, [&](const ParsedLine& parsed) {
        if (ProfileNamesEqual(parsed.name, key)) {
            value = ValueOf(parsed);
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
    WalkSectionKeys(text_, section, [&](const ParsedLine& parsed) {
        visit(parsed.name, ValueOf(parsed));
        return false;
    });
}

void ProfileDocument::Set(std::string_view section, std::string_view key, std::string_view value)
{
    Set(section, {ProfileEntry(std::string(key), std::string(value))});
}

void ProfileDocument::Set(std::string_view section, const std::vector<ProfileEntry>& entries)
{
    const bool together = std::all_of(entries.begin(), entries.end(),
                                      [&](const ProfileEntry& entry) { return CanSetTogether(section, entry); });
    if (!together && entries.size() > 1) {
        for (const ProfileEntry& entry : entries) {
            Set(section, {entry});
        }
        return;
    }
    SectionScan scan = ScanFor(entries);
    LocateKeys(text_, section, scan);
    text_ = ApplySet(text_, section, scan);
}

void ProfileDocument::Remove(std::string_view section, std::string_view key)
{
    std::string kept;
    LineWalker walker(text_);
    LineSpan line;
    bool inSection = false;
    while (walker.Next(line)) {
        const ParsedLine parsed = ParseLine(walker.Content(line));
        if (parsed.kind == LineKind::Section) {
            inSection = ProfileNamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key && ProfileNamesEqual(parsed.name, key)) {
            continue;
        }
        kept.append(text_, line.start, line.end - line.start);
    }
    text_ = std::move(kept);
}
