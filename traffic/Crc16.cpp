#include "traffic/Crc16.h"

#include "platform/CodePage.h"
#include "traffic/Codec.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::uint16_t ReflectedTableEntry(unsigned index)
{
    std::uint16_t entry = static_cast<std::uint16_t>(index);
    for (int bit = 0; bit < 8; ++bit) {
        entry = (entry & 1) ? static_cast<std::uint16_t>((entry >> 1) ^ 0xA001) : static_cast<std::uint16_t>(entry >> 1);
    }
    return entry;
}

constexpr std::array<unsigned char, 256> TableBytes(bool highByte)
{
    std::array<unsigned char, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        const std::uint16_t entry = ReflectedTableEntry(i);
        table[i] = static_cast<unsigned char>(highByte ? entry >> 8 : entry & 0xFF);
    }
    return table;
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

std::string FormatHexCheck(unsigned char first, unsigned char second)
{
    char text[8];
    std::snprintf(text, sizeof text, " %02X %02X", first, second);
    return text;
}

} // namespace

const std::array<unsigned char, 256> CCrc16::EntryLowBytes = TableBytes(false);
const std::array<unsigned char, 256> CCrc16::EntryHighBytes = TableBytes(true);

CCrc16::~CCrc16() = default;

std::uint16_t CCrc16::Compute(const unsigned char* bytes, std::size_t count)
{
    H = 0xFF;
    L = 0xFF;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char index = bytes[i] ^ H;
        H = EntryLowBytes[index] ^ L;
        L = EntryHighBytes[index];
    }
    return static_cast<std::uint16_t>(H * 256 + L);
}

CrcAppendResult AppendCrc(const std::string& sendText, bool hexMode)
{
    if (sendText.empty()) {
        return {CrcAppendResult::EmptyText, sendText, 0, 0};
    }
    CCrc16 crc;
    if (hexMode) {
        // Every parsed byte takes two characters, so this buffer holds whatever the text gives.
        std::vector<unsigned char> bytes(sendText.size() / 2 + 1);
        const std::size_t count = HexPairsToBytes(sendText, bytes.data(), bytes.size());
        crc.Compute(bytes.data(), count);
        return {CrcAppendResult::Appended, sendText + FormatHexCheck(crc.H, crc.L), crc.H, crc.L};
    }
    crc.Compute(reinterpret_cast<const unsigned char*>(sendText.data()), sendText.size());
    const bool fits = (IsPrintableAscii(crc.H) && IsPrintableAscii(crc.L)) || IsWholeGbkCharacter(crc.H, crc.L);
    if (!fits) {
        return {CrcAppendResult::NotRepresentable, sendText, crc.H, crc.L};
    }
    return {CrcAppendResult::Appended, sendText + static_cast<char>(crc.H) + static_cast<char>(crc.L), crc.H, crc.L};
}
