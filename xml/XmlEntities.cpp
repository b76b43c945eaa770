// Character references: decoding for the readers, escaping for the setters.

#include "xml/XmlDocument.h"

#include "platform/CodePage.h"
#include "xml/XmlScanner.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

struct NamedEntity {
    std::string_view name;  // after the "&", with the ";"
    char character;
};

constexpr std::array<NamedEntity, 5> kNamedEntities{{
    {"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'},
}};

std::string Utf8Of(long code)
{
    std::string utf8;
    const auto put = [&utf8](long bits) { utf8 += static_cast<char>(bits); };
    if (code < 0x800) {
        put(0xC0 | (code >> 6));
    } else if (code < 0x10000) {
        put(0xE0 | (code >> 12));
        put(0x80 | ((code >> 6) & 0x3F));
    } else {
        put(0xF0 | (code >> 18));
        put(0x80 | ((code >> 12) & 0x3F));
        put(0x80 | ((code >> 6) & 0x3F));
    }
    put(0x80 | (code & 0x3F));
    return utf8;
}

// The bytes for a numeric reference: codes 1 to 255 are one byte, higher codes their GBK
// character; empty when there is none.
std::string BytesOfCode(long code)
{
    if (code >= 1 && code <= 255) {
        return std::string(1, static_cast<char>(code));
    }
    const bool isCharacter = code > 255 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!isCharacter) {
        return {};
    }
    std::string gbk = Utf8ToGbk(Utf8Of(code));
    return gbk == "?" ? std::string() : gbk;
}

// A numeric reference "&#" digits ";" (with at most 7 bytes between "#" and ";"; "&#x" for
// hexadecimal) at the start of `text`: sets `bytes` and returns the reference's length, or 0.
std::size_t DecodeNumericReference(std::string_view text, std::string& bytes)
{
    constexpr int kMaxDigits = 7;
    const int size = static_cast<int>(text.size());
    int semicolon = 2;
    while (semicolon < size && semicolon <= 2 + kMaxDigits && text[semicolon] != ';') {
        semicolon += XmlCharLength(text, semicolon);
    }
    if (semicolon >= size || semicolon > 2 + kMaxDigits || text[semicolon] != ';') {
        return 0;
    }
    const bool hexadecimal = text[2] == 'x';
    const int digitsFrom = hexadecimal ? 3 : 2;
    const std::string digits(text.substr(digitsFrom, std::max(semicolon - digitsFrom, 0)));
    bytes = BytesOfCode(std::strtol(digits.c_str(), nullptr, hexadecimal ? 16 : 10));
    return bytes.empty() ? 0 : static_cast<std::size_t>(semicolon) + 1;
}

// The reference at the start of `text` (which starts with "&"): sets `bytes` and returns its
// length, or 0 when it is none the decoder knows.
std::size_t DecodeReference(std::string_view text, std::string& bytes)
{
    if (text.size() > 1 && text[1] == '#') {
        return DecodeNumericReference(text, bytes);
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (text.substr(1).starts_with(entity.name)) {
            bytes.assign(1, entity.character);
            return entity.name.size() + 1;
        }
    }
    return 0;
}

std::string_view EscapeOf(char c, EscapeForm form)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '\'':
        return form == EscapeForm::Attribute ? "&apos;" : "";
    case '"':
        return form == EscapeForm::Attribute ? "&quot;" : "";
    default:
        return {};
    }
}

}  // namespace

std::string CXmlDocument::DecodeEntities(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t referenceLength = text[i] == '&' ? DecodeReference(text.substr(i), bytes) : 0;
        if (referenceLength > 0) {
            decoded += bytes;
            i += referenceLength;
            continue;
        }
        const auto length = static_cast<std::size_t>(XmlCharLength(text, static_cast<int>(i)));
        decoded.append(text.substr(i, length));
        i += length;
    }
    return decoded;
}

std::string CXmlDocument::EncodeEntities(std::string_view text, EscapeForm form)
{
    std::string encoded;
    encoded.reserve(text.size() + text.size() / 10 + 7);
    for (std::size_t i = 0; i < text.size();) {
        const auto length = static_cast<std::size_t>(XmlCharLength(text, static_cast<int>(i)));
        const std::string_view escape = length == 1 ? EscapeOf(text[i], form) : std::string_view();
        encoded.append(escape.empty() ? text.substr(i, length) : escape);
        i += length;
    }
    return encoded;
}
