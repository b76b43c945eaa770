#include "controls/RowOrder.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <utility>

#include "platform/CodePage.h"

namespace {

bool IsCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexDigitValue(char c)
{
    if (IsDecimalDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsHexDigit(char c)
{
    return HexDigitValue(c) >= 0;
}

std::size_t SkipSpace(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && IsCSpace(text[pos]))
        ++pos;
    return pos;
}

// True when text[pos] starts "0x" or "0X" followed by a character accepted by `followedBy`.
template <typename Predicate>
bool HasHexPrefix(std::string_view text, std::size_t pos, Predicate followedBy)
{
    return pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')
        && followedBy(text, pos + 2);
}

bool HexDigitAt(std::string_view text, std::size_t pos)
{
    return IsHexDigit(text[pos]);
}

bool HexMantissaAt(std::string_view text, std::size_t pos)
{
    return IsHexDigit(text[pos]) || (text[pos] == '.' && pos + 1 < text.size() && IsHexDigit(text[pos + 1]));
}

// Whether an out-of-range mantissa and exponent describe a huge magnitude rather than a tiny
// one: the position of the first significant digit relative to the point, plus the exponent.
bool MagnitudeIsHuge(std::string_view number, bool hex)
{
    long long digitsBeforePoint = 0;
    long long zerosAfterPoint = 0;
    bool seenPoint = false;
    bool seenSignificant = false;
    std::size_t pos = 0;
    for (; pos < number.size(); ++pos) {
        const char c = number[pos];
        if (c == '.') {
            seenPoint = true;
            continue;
        }
        if (!(hex ? IsHexDigit(c) : IsDecimalDigit(c)))
            break;
        if (c != '0')
            seenSignificant = true;
        if (!seenPoint && seenSignificant)
            ++digitsBeforePoint;
        else if (seenPoint && !seenSignificant)
            ++zerosAfterPoint;
    }
    long long exponent = 0;
    if (pos < number.size()) {
        ++pos;
        const bool negative = pos < number.size() && number[pos] == '-';
        if (pos < number.size() && (number[pos] == '-' || number[pos] == '+'))
            ++pos;
        for (; pos < number.size() && IsDecimalDigit(number[pos]) && exponent < LLONG_MAX / 100; ++pos)
            exponent = exponent * 10 + (number[pos] - '0');
        if (negative)
            exponent = -exponent;
    }
    const long long digitWeight = hex ? 4 : 1;
    const long long lead = digitsBeforePoint > 0 ? digitsBeforePoint : -zerosAfterPoint;
    return lead * digitWeight + exponent > 0;
}

} // namespace

std::optional<std::uint32_t> ReadHexadecimal(std::string_view text)
{
    std::size_t pos = SkipSpace(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (HasHexPrefix(text, pos, HexDigitAt))
        pos += 2;
    if (pos == text.size())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (; pos < text.size(); ++pos) {
        const int digit = HexDigitValue(text[pos]);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * 16 + static_cast<unsigned>(digit);
        if (magnitude > 0xFFFFFFFFu) {
            overflow = true;
            magnitude = 0xFFFFFFFFu;
        }
    }
    if (overflow)
        return 0xFFFFFFFFu;
    const auto value = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::optional<double> ReadDecimal(std::string_view text)
{
    std::size_t pos = SkipSpace(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size() || text[pos] == '+' || text[pos] == '-')
        return std::nullopt;
    const bool hex = HasHexPrefix(text, pos, HexMantissaAt);
    if (hex)
        pos += 2;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value,
        hex ? std::chars_format::hex : std::chars_format::general);
    if (error == std::errc::invalid_argument)
        return std::nullopt;
    if (end != last && !(end + 1 == last && *end == '%'))
        return std::nullopt;
    if (error == std::errc::result_out_of_range)
        value = MagnitudeIsHuge(std::string_view(first, static_cast<std::size_t>(end - first)), hex) ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

int CompareGbkTexts(std::string_view a, std::string_view b)
{
    std::size_t pos = 0;
    while (pos < a.size() && pos < b.size()) {
        const auto characterCode = [pos](std::string_view text, std::size_t length) {
            const auto lead = static_cast<unsigned char>(text[pos]);
            return length == 2 ? lead * 256u + static_cast<unsigned char>(text[pos + 1]) : unsigned{lead};
        };
        const std::size_t lengthA = GbkCharLength(a, pos);
        const std::size_t lengthB = GbkCharLength(b, pos);
        const unsigned codeA = characterCode(a, lengthA);
        const unsigned codeB = characterCode(b, lengthB);
        if (codeA != codeB)
            return codeA < codeB ? -1 : 1;
        pos += lengthA;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

ColumnOrder::ColumnOrder(std::vector<std::string> texts, DateParser parseDate)
    : parseDate_(std::move(parseDate))
{
    cells_.reserve(texts.size());
    for (std::string& text : texts) {
        Cell cell;
        if (!text.empty()) {
            cell.hex = ReadHexadecimal(text);
            cell.decimal = ReadDecimal(text);
        }
        cell.text = std::move(text);
        cells_.push_back(std::move(cell));
    }
}

const std::optional<double>& ColumnOrder::DateOf(Cell& cell)
{
    if (!cell.dateRead) {
        cell.dateRead = true;
        if (!cell.text.empty() && parseDate_) {
            const std::optional<double> moment = parseDate_(cell.text);
            if (moment && !std::isnan(*moment))
                cell.date = moment;
        }
    }
    return cell.date;
}

int ColumnOrder::Compare(std::size_t a, std::size_t b)
{
    Cell& cellA = cells_.at(a);
    Cell& cellB = cells_.at(b);
    if (cellA.hex && cellB.hex)
        return *cellA.hex == *cellB.hex ? 0 : (*cellA.hex < *cellB.hex ? -1 : 1);
    if (cellA.decimal && cellB.decimal) {
        if (*cellA.decimal < *cellB.decimal)
            return -1;
        return *cellA.decimal > *cellB.decimal ? 1 : 0;
    }
    const std::optional<double>& dateA = DateOf(cellA);
    if (dateA) {
        const std::optional<double>& dateB = DateOf(cellB);
        if (dateB)
            return *dateA == *dateB ? 0 : (*dateA < *dateB ? -1 : 1);
    }
    return CompareGbkTexts(cellA.text, cellB.text);
}

int CompareCellTexts(const std::string& a, const std::string& b, const DateParser& parseDate)
{
    ColumnOrder order({a, b}, parseDate);
    return order.Compare(0, 1);
}

namespace {

using Index = std::ptrdiff_t;

// Whether a comparison of an entry with the pivot puts the entry before or after the pivot in
// the sort direction.
bool GoesBefore(int comparison, bool ascending)
{
    return ascending ? comparison < 0 : comparison > 0;
}

bool GoesAfter(int comparison, bool ascending)
{
    return ascending ? comparison > 0 : comparison < 0;
}

// Sorts entries[lo..hi]. The smaller part left by each partition is sorted by recursion and
// the larger one by the loop, so the depth stays logarithmic; as the parts are disjoint and
// the comparison does not depend on the array, the result is the same in either order.
void QuickSortRange(std::vector<int>& entries, Index lo, Index hi, bool ascending, const EntryComparer& compare)
{
    const auto at = [&entries](Index index) -> int& { return entries[static_cast<std::size_t>(index)]; };
    while (lo < hi) {
        const int pivot = at(lo + (hi - lo) / 2);
        Index i = lo;
        Index j = hi;
        do {
            // The bounds only matter for a comparison that is not consistent; with one that
            // is, the pivot or an entry swapped before stops each index in range.
            while (i < hi && GoesBefore(compare(at(i), pivot), ascending))
                ++i;
            while (j > lo && GoesAfter(compare(at(j), pivot), ascending))
                --j;
            if (j < i)
                break;
            if (i != j)
                std::swap(at(i), at(j));
            ++i;
            --j;
        } while (i <= j);
        if (j - lo < hi - i) {
            QuickSortRange(entries, lo, j, ascending, compare);
            lo = i;
        } else {
            QuickSortRange(entries, i, hi, ascending, compare);
            hi = j;
        }
    }
}

} // namespace

void QuickSortEntries(std::vector<int>& entries, bool ascending, const EntryComparer& compare)
{
    if (!entries.empty())
        QuickSortRange(entries, 0, static_cast<Index>(entries.size()) - 1, ascending, compare);
}
