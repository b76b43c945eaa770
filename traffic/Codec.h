#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between bytes, hexadecimal text and the per-byte display forms of the receive
// area. None of them fails: a character that does not fit simply ends a parse.

// Tolerant parser of the send path: spaces are skipped anywhere (also inside a pair), the first
// other non-digit ends the walk, an unpaired last digit is dropped. Keeps at most capacity - 1
// bytes, writes a zero byte behind them (nothing at all for capacity 0) and returns the count.
std::size_t HexToBytes(std::string_view hexText, unsigned char* out, std::size_t capacity);

// " 41 42 0D" for the bytes 41 42 0D: a space and two upper-case digits per byte.
std::string BytesToHex(const unsigned char* bytes, std::size_t count);

// Strict pair parser: a space is skipped only where a pair would begin, and the first pair that
// is not two hex digits (or a lone last digit) ends the walk. Same bound and zero byte as
// HexToBytes.
std::size_t HexPairsToBytes(std::string_view hexText, unsigned char* out, std::size_t capacity);

// 0..15 for a hex digit of either case, 255 for any other character.
unsigned char HexDigitValue(char c);

// "%02X ": two upper-case digits and a space.
std::string HexDisplayForm(unsigned char byte);

// "%c": the byte itself as one character; the zero byte gives the empty text.
std::string TextDisplayForm(unsigned char byte);

// Appends the display form of every byte to `out`: the same text as the two functions above
// applied byte by byte, without allocating per byte.
void AppendDisplayForms(std::string& out, const unsigned char* bytes, std::size_t count, bool hex);
