#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "traffic/ReceiveArea.h"

// What "查找" looks for in the receive area: a text, in the system's GBK, found wherever the area
// shows it (case folded for ASCII letters unless `caseSensitive`), or bytes, found only where the
// area shows received bytes (in the form the area shows them in: hex pairs or the bytes as text),
// never in headers, sent frames or the program's own lines.
struct FindPattern {
    std::string text;  // GBK, or the bytes for a hex pattern
    bool hex = false;
    bool caseSensitive = false;
};

// The bytes of a hex pattern, in the syntax "HEX发送" takes (pairs of hex digits, blanks between
// or inside them); nothing for a text that has anything else, or no whole pair.
std::optional<std::string> HexPatternBytes(const std::string& text);

// A match: [begin, end) in the area's text.
struct AreaMatch {
    std::size_t begin;
    std::size_t end;
};

// The matches in the area's text, in order and not overlapping, at most `limit` of them. A text
// match begins on a character of the area's encoding, never inside one.
std::vector<AreaMatch> FindInArea(const ReceiveArea& area, const FindPattern& pattern, std::size_t limit);
