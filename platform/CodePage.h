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

// Length in bytes of the character that starts at text[offset]: 2 for a lead byte that has a
// byte after it, else 1. Scanners step with it so a trail byte is never taken for markup.
constexpr std::size_t GbkCharLength(std::string_view text, std::size_t offset)
{
    return IsGbkLeadByte(static_cast<unsigned char>(text[offset])) && offset + 1 < text.size() ? 2 : 1;
}
