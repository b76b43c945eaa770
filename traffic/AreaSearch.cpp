#include "traffic/AreaSearch.h"

#include <algorithm>
#include <functional>

#include "platform/CodePage.h"
#include "traffic/Codec.h"

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct FoldedHash {
    std::size_t operator()(char c) const { return std::hash<char>()(Folded(c)); }
};

struct FoldedEqual {
    bool operator()(char a, char b) const { return Folded(a) == Folded(b); }
};

// Calls `found` with every place `needle` occurs in text[from, to), not overlapping, until it
// returns false.
template <typename Searcher>
void ForEachOccurrence(const std::string& text, std::size_t from, std::size_t to, std::size_t length,
                       const Searcher& searcher, const std::function<bool(std::size_t)>& found)
{
    auto at = text.begin() + static_cast<std::ptrdiff_t>(from);
    const auto end = text.begin() + static_cast<std::ptrdiff_t>(to);
    while (at != end) {
        const auto match = std::search(at, end, searcher);
        if (match == end || !found(static_cast<std::size_t>(match - text.begin()))) {
            return;
        }
        at = match + static_cast<std::ptrdiff_t>(length);
    }
}

// Whether text[offset] begins a character of `codec`; `boundary` walks ahead with the offsets
// asked about, which only grow.
bool BeginsCharacter(const std::string& text, TextCodec codec, std::size_t offset, std::size_t& boundary)
{
    if (codec == TextCodec::Utf8) {
        return (static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80;
    }
    while (boundary < offset) {
        boundary += GbkCharLength(text, boundary);
    }
    return boundary == offset;
}

void FindText(const ReceiveArea& area, const FindPattern& pattern, std::size_t limit, std::vector<AreaMatch>& matches)
{
    const std::string needle = SystemTextIn(pattern.text, area.Options().codec);
    const std::string& text = area.Text();
    std::size_t boundary = 0;
    const auto keep = [&](std::size_t at) {
        if (BeginsCharacter(text, area.Options().codec, at, boundary)) {
            matches.push_back({at, at + needle.size()});
        }
        return matches.size() < limit;
    };
    if (pattern.caseSensitive) {
        ForEachOccurrence(text, 0, text.size(), needle.size(),
                          std::boyer_moore_horspool_searcher(needle.begin(), needle.end()), keep);
    } else {
        ForEachOccurrence(text, 0, text.size(), needle.size(),
                          std::boyer_moore_horspool_searcher(needle.begin(), needle.end(), FoldedHash(), FoldedEqual()),
                          keep);
    }
}

void FindBytes(const ReceiveArea& area, const FindPattern& pattern, std::size_t limit, std::vector<AreaMatch>& matches)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(pattern.text.data());
    std::string hexForms;
    AppendDisplayForms(hexForms, bytes, pattern.text.size(), true);
    hexForms.pop_back();  // the last pair's blank: the next byte's form may follow it or not
    std::string textForms;
    AppendDisplayForms(textForms, bytes, pattern.text.size(), false);
    const std::string& text = area.Text();
    for (const ReceiveArea::DataRange& range : area.ReceivedRanges()) {
        const std::string& needle = range.hex ? hexForms : textForms;
        if (needle.empty() || range.end - range.begin < needle.size()) {
            continue;
        }
        ForEachOccurrence(text, range.begin, range.end, range.hex ? needle.size() + 1 : needle.size(),
                          std::boyer_moore_horspool_searcher(needle.begin(), needle.end()), [&](std::size_t at) {
                              // Hex forms match at a pair, never across the middle of one.
                              if (!range.hex || (at - range.begin) % 3 == 0) {
                                  matches.push_back({at, at + needle.size()});
                              }
                              return matches.size() < limit;
                          });
        if (matches.size() >= limit) {
            return;
        }
    }
}

}  // namespace

std::optional<std::string> HexPatternBytes(const std::string& text)
{
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        if (HexDigitValue(c) > 15) {
            return std::nullopt;
        }
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes += static_cast<char>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1]));
    }
    return bytes;
}

std::vector<AreaMatch> FindInArea(const ReceiveArea& area, const FindPattern& pattern, std::size_t limit)
{
    std::vector<AreaMatch> matches;
    if (pattern.text.empty() || limit == 0) {
        return matches;
    }
    if (pattern.hex) {
        FindBytes(area, pattern, limit, matches);
    } else {
        FindText(area, pattern, limit, matches);
    }
    return matches;
}
