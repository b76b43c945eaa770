#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Appending a check to the send text, as the "添加校验" commands do, for any check: hex text is
// read with HexPairsToBytes and gets " %02X" for each check byte in line order. Plain text gets
// the check bytes when they can stand in the text (each a printable ASCII character, or two of
// them together one GBK character that survives the conversion to Unicode and back); otherwise the
// text is left alone and the check bytes are reported. The check covers the whole data.
struct CheckAppendResult {
    enum Status { Appended, EmptyText, NotRepresentable } status;
    std::string text;                 // the send text with the check appended, else unchanged
    std::vector<unsigned char> check;  // the check bytes in line order
};
// The check bytes of data, in line order.
using CheckFunction = std::function<std::vector<unsigned char>(const unsigned char* bytes, std::size_t count)>;
CheckAppendResult AppendCheck(const std::string& sendText, bool hexMode, const CheckFunction& check);

// One check of the catalogue: a CRC given by its parameters (width, polynomial, initial value,
// reflection, final exclusive-or), or a sum, exclusive-or or LRC of the bytes. `check` is the
// value over "123456789" that the check's published definition gives.
struct CheckDefinition {
    enum Kind { Crc, Sum, Xor, Lrc };

    const char* name;
    Kind kind;
    int width;  // bits: 8, 16 or 32
    std::uint32_t polynomial;
    std::uint32_t initial;
    bool reflected;  // input and output reflected
    std::uint32_t finalXor;
    std::uint32_t check;
    // The order the bytes go on the line: the low-order byte first for reflected CRCs, as they
    // are sent, the high-order byte first for the others.
    bool LowByteFirst() const { return kind == Crc && reflected; }
};

std::span<const CheckDefinition> CheckCatalogue();

std::uint32_t CheckValue(const CheckDefinition& definition, const unsigned char* bytes, std::size_t count);
// The check's bytes in line order.
std::vector<unsigned char> CheckBytes(const CheckDefinition& definition, const unsigned char* bytes, std::size_t count);
