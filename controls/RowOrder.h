#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How the list orders the texts of a column. Each comparison decides from the two texts alone,
// taking the first rule that accepts both: hexadecimal numbers, decimal numbers, dates, then
// the texts themselves by their GBK character codes.

// Reads a date or time; returns a moment on any scale that orders moments, or nothing when the
// text is not a date. Handed in by the window layer, which knows the user's locale.
using DateParser = std::function<std::optional<double>(const std::string& text)>;

// The text as an unsigned 32-bit base-16 number: optional leading white space, an optional
// sign and an optional "0x", then hex digits up to the end. A minus sign negates in 32 bits;
// a magnitude beyond 32 bits reads as 0xFFFFFFFF. Nothing for a text that is not all number.
std::optional<std::uint32_t> ReadHexadecimal(std::string_view text);

// The text as a floating-point number in C notation (white space, sign, digits with '.',
// exponent, "0x" hex floats, inf, nan), possibly followed by one '%'. Independent of the
// process locale. Nothing for a text that is not all number.
std::optional<double> ReadDecimal(std::string_view text);

// Case-sensitive comparison by GBK character codes (a two-byte character counts as its
// lead byte * 256 + trail byte); a text that is a prefix of the other comes first.
// Returns -1, 0 or 1.
int CompareGbkTexts(std::string_view a, std::string_view b);

// The texts of one column, each read as a number once and as a date when first needed.
class ColumnOrder {
public:
    ColumnOrder(std::vector<std::string> texts, DateParser parseDate);

    // Compares texts a and b: -1, 0 or 1.
    int Compare(std::size_t a, std::size_t b);

    std::size_t Size() const { return cells_.size(); }

private:
    struct Cell {
        std::string text;
        std::optional<std::uint32_t> hex;
        std::optional<double> decimal;
        bool dateRead = false;
        std::optional<double> date;
    };

    const std::optional<double>& DateOf(Cell& cell);

    std::vector<Cell> cells_;
    DateParser parseDate_;
};

// Compares two texts by the rules above.
int CompareCellTexts(const std::string& a, const std::string& b, const DateParser& parseDate);

// Compares two entries of the array being sorted: -1, 0 or 1.
using EntryComparer = std::function<int(int a, int b)>;

// Sorts the entries with the list's quicksort: middle pivot, indexes moving inwards from both
// ends, swapping entries on the wrong side. Not stable: entries that compare equal may change
// their order.
void QuickSortEntries(std::vector<int>& entries, bool ascending, const EntryComparer& compare);
