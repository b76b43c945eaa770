#include "traffic/ReceiveArea.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void Fill(ReceiveArea& area, std::size_t length)
{
    area.Clear();
    area.AppendText(std::string(length, 'x'));
}

TEST(ReceiveArea, AppendsDisplayForms)
{
    ReceiveArea area;
    const unsigned char bytes[] = {0x48, 0x69, 0x00, 0x0D, 0x0A};
    area.AppendBytes(bytes, 5, false);
    area.AppendBytes(bytes, 2, true);
    area.AppendText("--");
    EXPECT_EQ(area.Text(), "Hi\r\n48 69 --");
    EXPECT_EQ(area.Length(), 12u);
}

TEST(ReceiveArea, AutoClearAboveFiveThousand)
{
    ReceiveArea area;
    Fill(area, 5000);
    EXPECT_FALSE(area.ApplyClearingRules(true));
    EXPECT_EQ(area.Length(), 5000u);
    Fill(area, 5001);
    EXPECT_TRUE(area.ApplyClearingRules(true));
    EXPECT_EQ(area.Length(), 0u);
    Fill(area, 5001);
    EXPECT_FALSE(area.ApplyClearingRules(false));
}

TEST(ReceiveArea, AlwaysClearAtThirtyThousand)
{
    ReceiveArea area;
    Fill(area, 29999);
    EXPECT_FALSE(area.ApplyClearingRules(false));
    EXPECT_EQ(area.Length(), 29999u);
    Fill(area, 30000);
    EXPECT_TRUE(area.ApplyClearingRules(false));
    EXPECT_EQ(area.Text(), "");
}

TEST(ReceiveArea, GenerationChangesOnlyOnClear)
{
    ReceiveArea area;
    const auto start = area.Generation();
    area.AppendText("abc");
    area.ApplyClearingRules(true);
    EXPECT_EQ(area.Generation(), start);
    area.Clear();
    EXPECT_NE(area.Generation(), start);
}

TEST(CompleteCharacterPrefix, HoldsBackAHalfCharacterUntilItsSecondByte)
{
    // "啊" is B0 A1 in GBK; the first read ends after its lead byte.
    std::string text = "ab\xB0";
    const std::size_t shown = CompleteCharacterPrefix(text, 0);
    EXPECT_EQ(shown, 2u);
    text += "\xA1" "c";
    EXPECT_EQ(CompleteCharacterPrefix(text, shown), text.size());
}

TEST(CompleteCharacterPrefix, WholeCharactersAndBounds)
{
    EXPECT_EQ(CompleteCharacterPrefix("\xB0\xA1\xB0\xA1", 0), 4u);
    // A trail byte that looks like a lead byte is stepped over with its lead.
    EXPECT_EQ(CompleteCharacterPrefix("\xB0\xB0", 0), 2u);
    EXPECT_EQ(CompleteCharacterPrefix("\xB0\xB0\xB0", 0), 2u);
    EXPECT_EQ(CompleteCharacterPrefix("abc", 2), 3u);
    EXPECT_EQ(CompleteCharacterPrefix("abc", 7), 3u);
    EXPECT_EQ(CompleteCharacterPrefix("", 0), 0u);
}

} // namespace
