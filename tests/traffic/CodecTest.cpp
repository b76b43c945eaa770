#include "traffic/Codec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<unsigned char>;
using Parser = std::size_t (*)(std::string_view, unsigned char*, std::size_t);

// Parses into a buffer of exactly `capacity` bytes, so a write past it is caught by ASan, and
// checks the zero byte behind the result.
Bytes Parse(Parser parser, std::string_view text, std::size_t capacity = 1024)
{
    std::vector<unsigned char> buffer(capacity, 0xEE);
    const std::size_t count = parser(text, buffer.data(), capacity);
    EXPECT_LT(count, capacity);
    EXPECT_EQ(buffer[count], 0) << "zero byte behind the parsed bytes";
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
}

Bytes Hex(std::string_view text, std::size_t capacity = 1024) { return Parse(HexToBytes, text, capacity); }
Bytes Pairs(std::string_view text, std::size_t capacity = 1024) { return Parse(HexPairsToBytes, text, capacity); }

std::string HexTextOf(std::size_t byteCount)
{
    std::string text;
    for (std::size_t i = 0; i < byteCount; ++i) {
        text += "5A ";
    }
    return text;
}

TEST(HexToBytes, SpacesAnywhereAndEitherCase)
{
    EXPECT_THAT(Hex("01 03 00 0A"), ElementsAre(0x01, 0x03, 0x00, 0x0A));
    EXPECT_THAT(Hex("0103000A"), ElementsAre(0x01, 0x03, 0x00, 0x0A));
    EXPECT_THAT(Hex("0 1 0 3 0 0 0 A"), ElementsAre(0x01, 0x03, 0x00, 0x0A));
    EXPECT_THAT(Hex("0a 0B"), ElementsAre(0x0A, 0x0B));
}

TEST(HexToBytes, FirstOtherCharacterEndsTheWalk)
{
    EXPECT_THAT(Hex("41,42"), ElementsAre(0x41));
    EXPECT_THAT(Hex("12 G4"), ElementsAre(0x12));
    EXPECT_THAT(Hex("12\t34"), ElementsAre(0x12));
    EXPECT_THAT(Hex("41 42\r\n43 44"), ElementsAre(0x41, 0x42));
    EXPECT_THAT(Hex("41 \xB0\xA1 42"), ElementsAre(0x41));
    EXPECT_THAT(Hex("zz"), ElementsAre());
}

TEST(HexToBytes, UnpairedLastDigitIsDropped)
{
    EXPECT_THAT(Hex("1A2"), ElementsAre(0x1A));
    EXPECT_THAT(Hex("12 3"), ElementsAre(0x12));
    EXPECT_THAT(Hex("123"), ElementsAre(0x12));
}

TEST(HexToBytes, EmptyOrOnlySpacesGiveNothingButTheZeroByte)
{
    EXPECT_THAT(Hex(""), ElementsAre());
    EXPECT_THAT(Hex("     "), ElementsAre());
}

TEST(HexToBytes, LongTextIsCutToTheBuffer)
{
    const Bytes bytes = Hex(HexTextOf(1500), 1024);
    EXPECT_EQ(bytes.size(), 1023u);
    EXPECT_EQ(bytes.back(), 0x5A);
    EXPECT_THAT(Hex("01 02 03", 3), ElementsAre(0x01, 0x02));
    EXPECT_THAT(Hex("01", 1), ElementsAre());
}

TEST(HexToBytes, CapacityZeroWritesNothing)
{
    EXPECT_EQ(HexToBytes("01 02", nullptr, 0), 0u);
    EXPECT_EQ(HexPairsToBytes("01 02", nullptr, 0), 0u);
}

TEST(HexPairsToBytes, StrictPairs)
{
    EXPECT_THAT(Pairs("01 03"), ElementsAre(0x01, 0x03));
    EXPECT_THAT(Pairs("0 1"), ElementsAre());
    EXPECT_THAT(Pairs("0103 0"), ElementsAre(0x01, 0x03));
    EXPECT_THAT(Pairs("01 0x"), ElementsAre(0x01));
    EXPECT_THAT(Pairs("  ab Cd"), ElementsAre(0xAB, 0xCD));
    EXPECT_THAT(Pairs("   "), ElementsAre());
}

TEST(HexPairsToBytes, AgreesWithTolerantParserOnWellFormedPairs)
{
    const std::string text = "00 7f 80 FF 0a 1B";
    EXPECT_EQ(Pairs(text), Hex(text));
}

TEST(HexPairsToBytes, LongTextIsCutToTheBuffer)
{
    const Bytes bytes = Pairs(HexTextOf(1500), 500);
    EXPECT_EQ(bytes.size(), 499u);
    EXPECT_THAT(Pairs("01 02 03", 2), ElementsAre(0x01));
}

TEST(HexDigitValue, DigitsOfBothCasesAndEverythingElse)
{
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    for (const char c : {'g', 'G', ' ', '/', ':', '@', '`', '\0', '\xA1'}) {
        EXPECT_EQ(HexDigitValue(c), 255) << static_cast<int>(c);
    }
}

TEST(BytesToHex, LeadingSpaceNoTrailingSpace)
{
    const unsigned char bytes[] = {0x41, 0x42, 0x0D};
    EXPECT_EQ(BytesToHex(bytes, 3), " 41 42 0D");
    const unsigned char mixed[] = {0x0A, 0x0B, 0xFF, 0x00};
    EXPECT_EQ(BytesToHex(mixed, 4), " 0A 0B FF 00");
    EXPECT_EQ(BytesToHex(nullptr, 0), "");
}

TEST(DisplayForms, SingleBytes)
{
    EXPECT_EQ(HexDisplayForm(0x00), "00 ");
    EXPECT_EQ(HexDisplayForm(0xAB), "AB ");
    EXPECT_EQ(TextDisplayForm(0x00), "");
    EXPECT_EQ(TextDisplayForm('H'), "H");
    EXPECT_EQ(TextDisplayForm(0xB0), "\xB0");
}

TEST(DisplayForms, BatchEqualsByteByByte)
{
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 600; ++i) {
        bytes.push_back(static_cast<unsigned char>(i * 7));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    for (const bool hex : {false, true}) {
        std::string expected = "prefix";
        for (const unsigned char byte : bytes) {
            expected += hex ? HexDisplayForm(byte) : TextDisplayForm(byte);
        }
        std::string batch = "prefix";
        AppendDisplayForms(batch, bytes.data(), bytes.size(), hex);
        EXPECT_EQ(batch, expected) << (hex ? "hex" : "text");
    }
}

TEST(DisplayForms, ReceivedLineInBothForms)
{
    const unsigned char bytes[] = {0x48, 0x69, 0x0D, 0x0A};
    std::string text;
    AppendDisplayForms(text, bytes, 4, false);
    EXPECT_EQ(text, "Hi\r\n");
    std::string hex;
    AppendDisplayForms(hex, bytes, 4, true);
    EXPECT_EQ(hex, "48 69 0D 0A ");
}

} // namespace
