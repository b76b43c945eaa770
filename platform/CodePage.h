#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The system's texts are GBK byte strings. These convert them to and from UTF-8 for the
// window layer, which is the only place where Unicode text exists.

// Converts GBK bytes to UTF-8. Bytes that do not form a GBK character are shown as U+FFFD;
// a zero byte ends nothing and is converted like any other byte.
std::string GbkToUtf8(std::string_view gbk);

// Converts UTF-8 to GBK. Characters GBK cannot hold become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// True for a byte that leads a two-byte GBK character (0x81 to 0xFE).
constexpr bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// True for a byte that can end a two-byte GBK character (0x40 to 0xFE, but not 0x7F).
constexpr bool IsGbkTrailByte(unsigned char byte) { return byte >= 0x40 && byte != 0x7F && byte != 0xFF; }

// Length in bytes of the character that starts at text[offset]: 2 for a lead byte followed by a
// trail byte, else 1. Scanners step with it so a trail byte is never taken for markup, and a
// lead byte before a delimiter (all of them are below 0x40) never swallows that delimiter.
constexpr std::size_t GbkCharLength(std::string_view text, std::size_t offset)
{
    return IsGbkLeadByte(static_cast<unsigned char>(text[offset])) && offset + 1 < text.size() &&
                   IsGbkTrailByte(static_cast<unsigned char>(text[offset + 1]))
               ? 2
               : 1;
}
