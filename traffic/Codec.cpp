#include "traffic/Codec.h"

#include <cstring>

namespace {

constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr unsigned char kNotADigit = 255;

// Writes the zero byte behind `count` parsed bytes when the buffer has room for anything.
std::size_t Terminate(unsigned char* out, std::size_t capacity, std::size_t count)
{
    if (capacity > 0) {
        out[count] = 0;
    }
    return count;
}

void AppendHexForms(std::string& out, const unsigned char* bytes, std::size_t count)
{
    std::size_t position = out.size();
    out.resize(position + count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        out[position++] = kUpperDigits[bytes[i] >> 4];
        out[position++] = kUpperDigits[bytes[i] & 0x0F];
        out[position++] = ' ';
    }
}

// Copies the bytes between zero bytes in runs; the zero bytes themselves add nothing.
void AppendTextForms(std::string& out, const unsigned char* bytes, std::size_t count)
{
    const unsigned char* const end = bytes + count;
    while (bytes < end) {
        const void* zero = std::memchr(bytes, 0, static_cast<std::size_t>(end - bytes));
        const unsigned char* runEnd = zero ? static_cast<const unsigned char*>(zero) : end;
        out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(runEnd - bytes));
        bytes = runEnd == end ? end : runEnd + 1;
    }
}

} // namespace

unsigned char HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned char>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned char>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned char>(c - 'a' + 10);
    }
    return kNotADigit;
}

std::size_t HexToBytes(std::string_view hexText, unsigned char* out, std::size_t capacity)
{
    if (capacity == 0) {
        return 0;
    }
    std::size_t count = 0;
    bool havePending = false;
    unsigned char pending = 0;
    for (const char c : hexText) {
        if (c == ' ') {
            continue;
        }
        const unsigned char value = HexDigitValue(c);
        if (value == kNotADigit) {
            break;
        }
        if (!havePending) {
            pending = value;
            havePending = true;
            continue;
        }
        if (count == capacity - 1) {
            break;
        }
        out[count++] = static_cast<unsigned char>(pending * 16 + value);
        havePending = false;
    }
    return Terminate(out, capacity, count);
}

std::size_t HexPairsToBytes(std::string_view hexText, unsigned char* out, std::size_t capacity)
{
    if (capacity == 0) {
        return 0;
    }
    std::size_t count = 0;
    std::size_t position = 0;
    while (position < hexText.size() && count < capacity - 1) {
        if (hexText[position] == ' ') {
            ++position;
            continue;
        }
        if (position + 1 >= hexText.size()) {
            break;
        }
        const unsigned char high = HexDigitValue(hexText[position]);
        const unsigned char low = HexDigitValue(hexText[position + 1]);
        if (high == kNotADigit || low == kNotADigit) {
            break;
        }
        out[count++] = static_cast<unsigned char>(high * 16 + low);
        position += 2;
    }
    return Terminate(out, capacity, count);
}

std::string BytesToHex(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        text += ' ';
        text += kUpperDigits[bytes[i] >> 4];
        text += kUpperDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string HexDisplayForm(unsigned char byte)
{
    std::string form;
    AppendHexForms(form, &byte, 1);
    return form;
}

std::string TextDisplayForm(unsigned char byte)
{
    std::string form;
    AppendTextForms(form, &byte, 1);
    return form;
}

void AppendDisplayForms(std::string& out, const unsigned char* bytes, std::size_t count, bool hex)
{
    if (hex) {
        AppendHexForms(out, bytes, count);
    } else {
        AppendTextForms(out, bytes, count);
    }
}
