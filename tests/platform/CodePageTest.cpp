#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/ProgramDir.h"

TEST(CodePage, ConvertsChineseBothWays)
{
    const std::string gbk = "\xB4\xAE\xBF\xDA\xB5\xF7\xCA\xD4";  // the window title
    const std::string utf8 = "\xE4\xB8\xB2\xE5\x8F\xA3\xE8\xB0\x83\xE8\xAF\x95";
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
}

TEST(CodePage, BadBytesBecomeReplacementsWithoutLosingTheRest)
{
    EXPECT_EQ(GbkToUtf8("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
    EXPECT_EQ(GbkToUtf8("A\xB4"), "A\xEF\xBF\xBD");  // a lone lead byte at the end
    EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));  // a zero byte is a character
    EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");  // no GBK form: one '?' per character
}

TEST(CodePage, LeadBytesStepAsOneCharacter)
{
    const std::string text = "a\xB4\xAE" "b\xB4";
    EXPECT_EQ(GbkCharLength(text, 0), 1u);
    EXPECT_EQ(GbkCharLength(text, 1), 2u);
    EXPECT_EQ(GbkCharLength(text, 3), 1u);
    EXPECT_EQ(GbkCharLength(text, 4), 1u);  // lead byte without a trail byte
    EXPECT_EQ(GbkCharLength("\x81<", 0), 1u) << "a lead byte never swallows a delimiter";
}

TEST(ProgramDir, IsTheDirectoryOfTheTestExecutable)
{
    const std::string directory = ProgramDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '/');
    EXPECT_EQ(ProgramFilePath("Config.ini"), directory + "/Config.ini");
}
