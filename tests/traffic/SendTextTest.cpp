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

TEST(TextSendOptionsTest, EscapesAndLineEndingsMakeTheBytesOfATextSendAndLeaveHexAlone)
{
    struct Case {
        std::string text;
        std::int32_t isHex;
        TextSendOptions options;
        std::string bytes;
        std::optional<std::size_t> badEscapeAt;
    };
    const TextSendOptions escapes{true, LineEnding::None};
    const Case cases[] = {
        {"a\\r\\n\\t\\\\\\0\\x41\\xfF", 0, escapes, std::string("a\r\n\t\\\0A\xFF", 8), std::nullopt},
        {"a\\r", 0, {}, "a\\r", std::nullopt},  // escapes off: as typed
        {"\xB1\x5C\\n", 0, escapes, "\xB1\x5C\n", std::nullopt},  // a GBK character ending in 5C is no escape
        {"ok", 0, {false, LineEnding::Cr}, "ok\r", std::nullopt},
        {"ok", 0, {false, LineEnding::Lf}, "ok\n", std::nullopt},
        {"ok", 0, {true, LineEnding::CrLf}, "ok\r\n", std::nullopt},
        {"01 02", 1, {true, LineEnding::CrLf}, "\x01\x02", std::nullopt},  // hex: untouched
        {"end\\", 0, escapes, "", 3},
        {"\\x4", 0, escapes, "", 0},
        {"ab\\q", 0, escapes, "", 2},
        {"\\xG1", 0, escapes, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const SendBytes send = BytesToSend(c.text, c.isHex, c.options);
        EXPECT_EQ(send.bytes, c.bytes);
        EXPECT_EQ(send.badEscapeAt, c.badEscapeAt);
    }
    for (const LineEnding ending : {LineEnding::None, LineEnding::Cr, LineEnding::Lf, LineEnding::CrLf}) {
        EXPECT_EQ(ParseLineEnding(LineEndingName(ending)), ending);
    }
    EXPECT_EQ(ParseLineEnding("crlf"), std::nullopt);
}
