#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// CRC-16/MODBUS (polynomial 0x8005 reflected, start 0xFFFF, no final exclusive-or), computed
// byte-wise with two 256-byte tables. After Compute, H holds the check byte that goes first on
// the line (the low-order byte of the MODBUS value) and L the one that goes second.
class CCrc16 {
public:
    virtual ~CCrc16();

    // Returns H * 256 + L; for "123456789" that is 0x374B (the MODBUS value 0x4B37 in line order).
    std::uint16_t Compute(const unsigned char* bytes, std::size_t count);

    unsigned char L = 0;
    unsigned char H = 0;

    // Low-order and high-order bytes of the reflected table entry of every index.
    static const std::array<unsigned char, 256> EntryLowBytes;
    static const std::array<unsigned char, 256> EntryHighBytes;
};

// The CRC16 command's work on the send text. Hex text is read with HexPairsToBytes and gets
// " %02X %02X" (first then second check byte). Plain text gets both check bytes in line order
// when they can stand in the text: both printable ASCII, or together one GBK character that
// survives the conversion to Unicode and back; otherwise the text is left alone and the two
// bytes are reported. The check covers the whole data, whatever its length.
struct CrcAppendResult {
    enum Status { Appended, EmptyText, NotRepresentable } status;
    std::string text;          // the send text with the check appended, else unchanged
    unsigned char first;       // check byte that goes first on the line
    unsigned char second;      // check byte that goes second
};

CrcAppendResult AppendCrc(const std::string& sendText, bool hexMode);

// The two check bytes of data in line order, for the check commands that take any check.
std::vector<unsigned char> Crc16Bytes(const unsigned char* bytes, std::size_t count);
