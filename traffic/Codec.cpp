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

// "%02X " of every byte value, with a fourth character so that each form is one 4-byte copy.
struct HexForms {
    char forms[256][4];
    constexpr HexForms() : forms()
    {
        for (int value = 0; value < 256; ++value) {
            forms[value][0] = kUpperDigits[value >> 4];
            forms[value][1] = kUpperDigits[value & 0x0F];
            forms[value][2] = ' ';
            forms[value][3] = ' ';
        }
    }
};
constexpr HexForms kHexForms;

void AppendHexForms(std::string& out, const unsigned char* bytes, std::size_t count)
{
    if (count == 0) {
        return;
    }
    const std::size_t start = out.size();
    // One character more while writing: each form is copied as four, the fourth overwritten by
    // the next form.
    out.resize(start + count * 3 + 1);
    char* cursor = out.data() + start;
    for (std::size_t i = 0; i < count; ++i, cursor += 3) {
        std::memcpy(cursor, kHexForms.forms[bytes[i]], 4);
    }
    out.pop_back();
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
