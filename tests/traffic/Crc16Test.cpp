#include "traffic/Crc16.h"

#include "platform/CodePage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ::testing::ElementsAre;

std::uint16_t CrcOf(const std::string& text, CCrc16& crc)
{
    return crc.Compute(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(CCrc16, TablesStartAsTheClassicRoutine)
{
    EXPECT_THAT(std::vector<unsigned char>(CCrc16::EntryLowBytes.begin(), CCrc16::EntryLowBytes.begin() + 8),
                ElementsAre(0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41));
    EXPECT_THAT(std::vector<unsigned char>(CCrc16::EntryHighBytes.begin(), CCrc16::EntryHighBytes.begin() + 8),
                ElementsAre(0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2));
    EXPECT_EQ(CCrc16::EntryLowBytes[255], 0x40);
    EXPECT_EQ(CCrc16::EntryHighBytes[255], 0x40);
}

TEST(CCrc16, CheckValueInLineOrder)
{
    CCrc16 crc;
    EXPECT_EQ(CrcOf("123456789", crc), 0x374B);
    EXPECT_EQ(crc.H, 0x37);
    EXPECT_EQ(crc.L, 0x4B);
}

TEST(CCrc16, NoBytesGiveTheStartValue)
{
    CCrc16 crc;
    EXPECT_EQ(crc.Compute(nullptr, 0), 0xFFFF);
}

TEST(AppendCrc, HexExamples)
{
    const CrcAppendResult frame = AppendCrc("01 03 00 00 00 0A", true);
    EXPECT_EQ(frame.status, CrcAppendResult::Appended);
    EXPECT_EQ(frame.text, "01 03 00 00 00 0A C5 CD");
    EXPECT_EQ(AppendCrc(frame.text, true).text, "01 03 00 00 00 0A C5 CD 00 00");
    EXPECT_EQ(AppendCrc("01", true).text, "01 7E 80");
    EXPECT_EQ(AppendCrc("0 1", true).text, "0 1 FF FF");
    EXPECT_EQ(AppendCrc("31 32 33 34 35 36 37 38 39", true).text, "31 32 33 34 35 36 37 38 39 37 4B");
}

TEST(AppendCrc, EmptyTextIsRefusedInBothModes)
{
    for (const bool hex : {false, true}) {
        const CrcAppendResult result = AppendCrc("", hex);
        EXPECT_EQ(result.status, CrcAppendResult::EmptyText);
        EXPECT_EQ(result.text, "");
    }
}

TEST(AppendCrc, HexCoversDataBeyondFiveHundredBytes)
{
    std::string longFrame;
    for (int i = 0; i < 800; ++i) {
        longFrame += "A5 ";
    }
    const CrcAppendResult first = AppendCrc(longFrame, true);
    ASSERT_EQ(first.status, CrcAppendResult::Appended);
    // A frame followed by its own correct check has the check 0 only if every byte was covered.
    EXPECT_EQ(AppendCrc(first.text, true).text.substr(first.text.size()), " 00 00");
}

TEST(AppendCrc, TextGetsBothPrintableBytesInLineOrder)
{
    const CrcAppendResult result = AppendCrc("123456789", false);
    EXPECT_EQ(result.status, CrcAppendResult::Appended);
    EXPECT_EQ(result.text, "1234567897K");
    EXPECT_EQ(result.first, 0x37);
    EXPECT_EQ(result.second, 0x4B);
    // Checking the extended text gives 0, as for a correct frame on the line.
    CCrc16 crc;
    EXPECT_EQ(CrcOf(result.text, crc), 0);
}

// Searches short texts for one whose check bytes match `wanted`.
std::string TextWhoseCheck(bool (*wanted)(unsigned char, unsigned char))
{
    for (int a = 0x20; a < 0x7F; ++a) {
        for (int b = 0x20; b < 0x7F; ++b) {
            const std::string text{static_cast<char>(a), static_cast<char>(b)};
            CCrc16 crc;
            CrcOf(text, crc);
            if (wanted(crc.H, crc.L)) {
                return text;
            }
        }
    }
    return "";
}

TEST(AppendCrc, TextGetsAGbkCharacterFormedByTheCheck)
{
    const std::string text = TextWhoseCheck([](unsigned char h, unsigned char l) {
        return h >= 0xB0 && h <= 0xD6 && l >= 0xA1 && l <= 0xFE;   // common hanzi rows
    });
    ASSERT_FALSE(text.empty());
    const CrcAppendResult result = AppendCrc(text, false);
    EXPECT_EQ(result.status, CrcAppendResult::Appended);
    EXPECT_EQ(result.text, text + static_cast<char>(result.first) + static_cast<char>(result.second));
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(result.text)), result.text);
}

TEST(AppendCrc, TextThatCannotCarryTheCheckIsLeftAlone)
{
    const std::string text = TextWhoseCheck([](unsigned char h, unsigned char l) {
        return h < 0x20 || (l < 0x20 && h < 0x80);
    });
    ASSERT_FALSE(text.empty());
    const CrcAppendResult result = AppendCrc(text, false);
    EXPECT_EQ(result.status, CrcAppendResult::NotRepresentable);
    EXPECT_EQ(result.text, text);
    CCrc16 crc;
    CrcOf(text, crc);
    EXPECT_EQ(result.first, crc.H);
    EXPECT_EQ(result.second, crc.L);
}

} // namespace
