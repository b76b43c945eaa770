#include "traffic/TextDecoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

}  // namespace

TEST(TextDecoder, GbkCharacterSplitAcrossReadsComesOutWhole)
{
    TextDecoder decoder(TextCodec::Gbk);
    EXPECT_EQ(decoder.Decode("ab\xC4"), "ab");
    EXPECT_EQ(decoder.Decode("\xE3" "c"), "你c");
    EXPECT_EQ(decoder.Decode("\xFF \xB0 "), kReplacement + " " + kReplacement + " ");
}

TEST(TextDecoder, Utf8CharactersSplitAtEveryByte)
{
    for (const std::string text : {"é", "温", "😀"}) {
        TextDecoder decoder(TextCodec::Utf8);
        std::string shown;
        for (char byte : text) {
            shown += decoder.Decode(std::string(1, byte));
        }
        EXPECT_EQ(shown, text);
    }
    TextDecoder decoder(TextCodec::Utf8);
    EXPECT_EQ(decoder.Decode("23.5 \xE2\x84"), "23.5 ");
    EXPECT_EQ(decoder.Decode("\x83\r\n"), "℃\r\n");
}

TEST(TextDecoder, InvalidUtf8IsShownAsReplacementNeverDropped)
{
    TextDecoder decoder(TextCodec::Utf8);
    // A lone continuation byte, an overlong form, a surrogate, a byte that never occurs, and a
    // sequence cut short by another character.
    EXPECT_EQ(decoder.Decode("a\x80" "b"), "a" + kReplacement + "b");
    EXPECT_EQ(decoder.Decode("\xC0\x80"), kReplacement + kReplacement);
    EXPECT_EQ(decoder.Decode("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(decoder.Decode("\xFF"), kReplacement);
    EXPECT_EQ(decoder.Decode("\xE6\xB8" "x"), kReplacement + "x");
    // A partial character kept from one read and broken by the next.
    EXPECT_EQ(decoder.Decode("\xE6"), "");
    EXPECT_EQ(decoder.Decode("A"), kReplacement + "A");
}

TEST(TextDecoder, ResetForgetsAKeptPartialCharacter)
{
    TextDecoder decoder(TextCodec::Utf8);
    EXPECT_EQ(decoder.Decode("\xE6\xB8"), "");
    decoder.Reset();
    EXPECT_EQ(decoder.Decode("z"), "z");
}

TEST(TextCodecNames, OnlyTheTwoNamesAreKnown)
{
    EXPECT_EQ(ParseTextCodec("GBK"), TextCodec::Gbk);
    EXPECT_EQ(ParseTextCodec("UTF-8"), TextCodec::Utf8);
    EXPECT_EQ(ParseTextCodec("utf8"), std::nullopt);
    EXPECT_STREQ(TextCodecName(TextCodec::Utf8), "UTF-8");
}

TEST(ConvertText, BetweenTheCodecsAndWhatCannotBeHeld)
{
    EXPECT_EQ(ConvertText("\xC4\xE3", TextCodec::Gbk, TextCodec::Utf8), "你");
    EXPECT_EQ(ConvertText("你", TextCodec::Utf8, TextCodec::Gbk), "\xC4\xE3");
    EXPECT_EQ(ConvertText("a\xFF", TextCodec::Gbk, TextCodec::Utf8), "a" + kReplacement);
    EXPECT_EQ(ConvertText("a\xE6\xB8", TextCodec::Utf8, TextCodec::Gbk), "a?");
}
