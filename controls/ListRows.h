#pragma once

#include <cstdint>
#include <vector>

// Row-state flags. A row matches a mask when the mask is non-zero and either contains
// ITEM_ANY or all its bits are among the row's current flags.
enum : unsigned {
    ITEM_ANY = 0x01,
    ITEM_SELECTED = 0x02,
    ITEM_UNSELECTED = 0x04,
    ITEM_CHECKED = 0x08,
    ITEM_UNCHECKED = 0x10,
    ITEM_FOCUSED = 0x20,
    ITEM_UNFOCUSED = 0x40,
};

// Check styles of the list.
enum : int {
    CHECK_NONE = 0,
    CHECK_MULTI = 1,
    CHECK_SINGLE = 2,
    CHECK_READONLY = 3,
};

// Colours are 0x00BBGGRR values. The two values with the high byte set never name a real
// colour; they stand for the window's own background and text colours.
using ColorRef = std::uint32_t;
inline constexpr ColorRef kWindowColor = 0xFFFFFFFF;
inline constexpr ColorRef kWindowTextColor = 0xFFFFFFFE;

constexpr ColorRef MakeColorRef(unsigned red, unsigned green, unsigned blue)
{
    return (red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16);
}

// The list's record of one row: the caller's value and a colour per cell. It travels with the
// row when rows are reordered.
struct RowRecord {
    std::uintptr_t UserData = 0;
    std::vector<ColorRef> TextColors;
    std::vector<ColorRef> BkColors;
};

// The current flags of a row: exactly one flag of each pair.
constexpr unsigned RowStateFlags(bool selected, bool checked, bool focused)
{
    return (selected ? ITEM_SELECTED : ITEM_UNSELECTED) | (checked ? ITEM_CHECKED : ITEM_UNCHECKED)
        | (focused ? ITEM_FOCUSED : ITEM_UNFOCUSED);
}

constexpr bool RowMatchesMask(unsigned rowFlags, unsigned mask)
{
    return mask != 0 && ((mask & ITEM_ANY) != 0 || (rowFlags & mask) == mask);
}
