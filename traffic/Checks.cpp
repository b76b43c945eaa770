#include "traffic/Checks.h"

#include <array>
#include <cstdio>

#include "platform/CodePage.h"
#include "traffic/Codec.h"

namespace {

constexpr CheckDefinition kCatalogue[] = {
    {"CRC-8", CheckDefinition::Crc, 8, 0x07, 0x00, false, 0x00, 0xF4},
    {"CRC-8/MAXIM", CheckDefinition::Crc, 8, 0x31, 0x00, true, 0x00, 0xA1},
    {"CRC-16/CCITT-FALSE", CheckDefinition::Crc, 16, 0x1021, 0xFFFF, false, 0x0000, 0x29B1},
    {"CRC-16/XMODEM", CheckDefinition::Crc, 16, 0x1021, 0x0000, false, 0x0000, 0x31C3},
    {"CRC-16/KERMIT", CheckDefinition::Crc, 16, 0x1021, 0x0000, true, 0x0000, 0x2189},
    {"CRC-16/IBM (ARC)", CheckDefinition::Crc, 16, 0x8005, 0x0000, true, 0x0000, 0xBB3D},
    {"CRC-32", CheckDefinition::Crc, 32, 0x04C11DB7, 0xFFFFFFFF, true, 0xFFFFFFFF, 0xCBF43926},
    {"CRC-32/MPEG-2", CheckDefinition::Crc, 32, 0x04C11DB7, 0xFFFFFFFF, false, 0x00000000, 0x0376E6E7},
    {"SUM8", CheckDefinition::Sum, 8, 0, 0, false, 0, 0xDD},
    {"SUM16", CheckDefinition::Sum, 16, 0, 0, false, 0, 0x01DD},
    {"XOR (BCC)", CheckDefinition::Xor, 8, 0, 0, false, 0, 0x31},
    {"LRC", CheckDefinition::Lrc, 8, 0, 0, false, 0, 0x23},
};

std::uint32_t Mask(int width) { return width == 32 ? 0xFFFFFFFFu : (1u << width) - 1; }

std::uint32_t Reflect(std::uint32_t value, int width)
{
    std::uint32_t reflected = 0;
    for (int bit = 0; bit < width; ++bit) {
        if ((value >> bit) & 1) {
            reflected |= 1u << (width - 1 - bit);
        }
    }
    return reflected;
}

// The CRC over each byte value, processed most significant bit first (reflected input is handled
// by working on the reflected register, with the reflected polynomial).
std::array<std::uint32_t, 256> CrcTable(const CheckDefinition& crc)
{
    std::array<std::uint32_t, 256> table{};
    const std::uint32_t mask = Mask(crc.width);
    for (std::uint32_t index = 0; index < 256; ++index) {
        std::uint32_t value = 0;
        if (crc.reflected) {
            const std::uint32_t polynomial = Reflect(crc.polynomial, crc.width);
            value = index;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & 1) ? (value >> 1) ^ polynomial : value >> 1;
            }
        } else {
            const std::uint32_t top = 1u << (crc.width - 1);
            value = crc.width >= 8 ? index << (crc.width - 8) : index;
            for (int bit = 0; bit < 8; ++bit) {
                value = (value & top) ? (value << 1) ^ crc.polynomial : value << 1;
            }
        }
        table[index] = value & mask;
    }
    return table;
}

std::uint32_t Crc(const CheckDefinition& crc, const unsigned char* bytes, std::size_t count)
{
    const std::array<std::uint32_t, 256> table = CrcTable(crc);
    const std::uint32_t mask = Mask(crc.width);
    std::uint32_t value = crc.reflected ? Reflect(crc.initial, crc.width) : crc.initial;
    for (std::size_t i = 0; i < count; ++i) {
        if (crc.reflected) {
            value = (value >> 8) ^ table[(value ^ bytes[i]) & 0xFF];
        } else {
            value = ((value << 8) ^ table[((value >> (crc.width - 8)) ^ bytes[i]) & 0xFF]) & mask;
        }
    }
    return (value ^ crc.finalXor) & mask;
}

bool IsPrintableAscii(unsigned char byte) { return byte >= 0x20 && byte <= 0x7E; }

bool IsWholeGbkCharacter(unsigned char lead, unsigned char trail)
{
    if (!IsGbkLeadByte(lead)) {
        return false;
    }
    const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
    const std::string unicode = GbkToUtf8(pair);
    return unicode != "\xEF\xBF\xBD" && Utf8ToGbk(unicode) == pair;
}

// Whether the bytes can stand in the send area as they are.
bool CanStandInText(const std::vector<unsigned char>& bytes)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (IsPrintableAscii(bytes[i])) {
            continue;
        }
        if (i + 1 < bytes.size() && IsWholeGbkCharacter(bytes[i], bytes[i + 1])) {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace

CheckAppendResult AppendCheck(const std::string& sendText, bool hexMode, const CheckFunction& check)
{
    if (sendText.empty()) {
        return {CheckAppendResult::EmptyText, sendText, {}};
    }
    if (hexMode) {
        // Every parsed byte takes two characters, so this buffer holds whatever the text gives.
        std::vector<unsigned char> bytes(sendText.size() / 2 + 1);
        const std::size_t count = HexPairsToBytes(sendText, bytes.data(), bytes.size());
        const std::vector<unsigned char> checkBytes = check(bytes.data(), count);
        std::string text = sendText;
        for (const unsigned char byte : checkBytes) {
            char pair[4];
            std::snprintf(pair, sizeof pair, " %02X", byte);
            text += pair;
        }
        return {CheckAppendResult::Appended, text, checkBytes};
    }
    const std::vector<unsigned char> checkBytes =
        check(reinterpret_cast<const unsigned char*>(sendText.data()), sendText.size());
    if (!CanStandInText(checkBytes)) {
        return {CheckAppendResult::NotRepresentable, sendText, checkBytes};
    }
    return {CheckAppendResult::Appended, sendText + std::string(checkBytes.begin(), checkBytes.end()), checkBytes};
}

std::span<const CheckDefinition> CheckCatalogue() { return kCatalogue; }

std::uint32_t CheckValue(const CheckDefinition& definition, const unsigned char* bytes, std::size_t count)
{
    std::uint32_t value = 0;
    switch (definition.kind) {
    case CheckDefinition::Crc:
        return Crc(definition, bytes, count);
    case CheckDefinition::Sum:
    case CheckDefinition::Lrc:
        for (std::size_t i = 0; i < count; ++i) {
            value += bytes[i];
        }
        value = definition.kind == CheckDefinition::Lrc ? 0u - value : value;
        break;
    case CheckDefinition::Xor:
        for (std::size_t i = 0; i < count; ++i) {
            value ^= bytes[i];
        }
        break;
    }
    return value & Mask(definition.width);
}

std::vector<unsigned char> CheckBytes(const CheckDefinition& definition, const unsigned char* bytes, std::size_t count)
{
    const std::uint32_t value = CheckValue(definition, bytes, count);
    const int size = definition.width / 8;
    std::vector<unsigned char> line(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (definition.LowByteFirst() ? i : size - 1 - i);
        line[static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> shift);
    }
    return line;
}
