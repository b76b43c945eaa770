#include "traffic/SendText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BytesToSend, TextIsSentAsItStands)
{
    EXPECT_EQ(BytesToSend("AB\r\nC", 0), "AB\r\nC");
    EXPECT_EQ(BytesToSend("01 02", 0), "01 02");
}

TEST(BytesToSend, HexForAnyNonZeroFlag)
{
    EXPECT_EQ(BytesToSend("01 03 00 00 00 0A", 1), std::string("\x01\x03\x00\x00\x00\x0A", 6));
    EXPECT_EQ(BytesToSend("41 42", 2), "AB");
    EXPECT_EQ(BytesToSend("41 42", -1), "AB");
    EXPECT_EQ(BytesToSend("hello", 1), "");
}

TEST(BytesToSend, HexIsCutAt1023Bytes)
{
    std::string text;
    for (int i = 0; i < 1500; ++i) {
        text += "7E ";
    }
    EXPECT_EQ(BytesToSend(text, 1), std::string(1023, '\x7E'));
}

TEST(ToggleHexSend, TextToHexAndBack)
{
    const HexToggleResult hex = ToggleHexSend("AB", true);
    EXPECT_EQ(hex.text, " 41 42");
    EXPECT_TRUE(hex.hexChecked);
    const HexToggleResult text = ToggleHexSend(hex.text, false);
    EXPECT_EQ(text.text, "AB");
    EXPECT_FALSE(text.hexChecked);
}

TEST(ToggleHexSend, TextWithoutHexStaysAndTheBoxIsTickedAgain)
{
    const HexToggleResult result = ToggleHexSend("xyz", false);
    EXPECT_EQ(result.text, "xyz");
    EXPECT_TRUE(result.hexChecked);
}

TEST(ToggleHexSend, TextEndsAtTheFirstZeroByte)
{
    EXPECT_EQ(ToggleHexSend(" 41 00 42", false).text, "A");
    const HexToggleResult leadingZero = ToggleHexSend("00 41", false);
    EXPECT_EQ(leadingZero.text, "");
    EXPECT_FALSE(leadingZero.hexChecked);
}

TEST(ToggleHexSend, EmptyTextChangesNothing)
{
    for (const bool checked : {false, true}) {
        const HexToggleResult result = ToggleHexSend("", checked);
        EXPECT_EQ(result.text, "");
        EXPECT_EQ(result.hexChecked, checked);
    }
}

TEST(ToggleHexSend, OnlyThe1023FirstBytesBecomeHex)
{
    const std::string text(1500, 'a');
    const HexToggleResult result = ToggleHexSend(text, true);
    EXPECT_EQ(result.text.size(), 1023u * 3);
    EXPECT_EQ(result.text.substr(0, 6), " 61 61");
}

} // namespace
