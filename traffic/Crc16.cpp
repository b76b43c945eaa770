#include "traffic/Crc16.h"

#include "traffic/Checks.h"

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

std::vector<unsigned char> Crc16Bytes(const unsigned char* bytes, std::size_t count)
{
    CCrc16 crc;
    crc.Compute(bytes, count);
    return {crc.H, crc.L};
}

CrcAppendResult AppendCrc(const std::string& sendText, bool hexMode)
{
    const CheckAppendResult result = AppendCheck(sendText, hexMode, Crc16Bytes);
    const unsigned char first = result.check.empty() ? 0 : result.check[0];
    const unsigned char second = result.check.empty() ? 0 : result.check[1];
    switch (result.status) {
    case CheckAppendResult::Appended:
        return {CrcAppendResult::Appended, result.text, first, second};
    case CheckAppendResult::NotRepresentable:
        return {CrcAppendResult::NotRepresentable, result.text, first, second};
    case CheckAppendResult::EmptyText:
        break;
    }
    return {CrcAppendResult::EmptyText, result.text, first, second};
}
