#include "traffic/FrameText.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ManualClock.h"
#include "traffic/ReceiveArea.h"

using std::chrono::milliseconds;

namespace {

// "收←" and "发→" in GBK and in UTF-8.
const std::string kIn = "\xCA\xD5\xA1\xFB";
const std::string kOut = "\xB7\xA2\xA1\xFA";
const std::string kInUtf8 = "收←";

const unsigned char* Bytes(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

class FrameTextTest : public ::testing::Test {
protected:
    void Receive(FrameText& frames, const std::string& text, bool hex = false)
    {
        frames.AppendReceived(out, Bytes(text.c_str()), text.size(), hex, clock.Now());
    }
    void Send(FrameText& frames, const std::string& text, bool hex = false)
    {
        frames.AppendSent(out, Bytes(text.c_str()), text.size(), hex, clock.Now());
    }
    void PassOn(FrameText& frames, const std::string& text)
    {
        frames.AppendPassedOn(out, Bytes(text.c_str()), text.size(), false, clock.Now());
    }

    ManualClock clock;
    std::string out;
};

}  // namespace

TEST(FrameSplitter, ASilenceOfAtLeastTheGapBeginsAFrame)
{
    ManualClock clock;
    FrameSplitter splitter(milliseconds(20));
    EXPECT_TRUE(splitter.Receive(clock.Now().monotonic)) << "the first bytes begin a frame";
    clock.Advance(milliseconds(19));
    EXPECT_FALSE(splitter.Receive(clock.Now().monotonic));
    // The silence counts from the last bytes, not from the frame's first ones.
    clock.Advance(milliseconds(19));
    EXPECT_FALSE(splitter.Receive(clock.Now().monotonic));
    clock.Advance(milliseconds(20));
    EXPECT_TRUE(splitter.Receive(clock.Now().monotonic));
    clock.Advance(milliseconds(21));
    EXPECT_TRUE(splitter.Receive(clock.Now().monotonic));
    splitter.Sent();
    EXPECT_TRUE(splitter.Receive(clock.Now().monotonic)) << "received bytes after a send begin a frame";
    EXPECT_FALSE(splitter.Receive(clock.Now().monotonic));
}

TEST(FrameSplitter, GapsOfOneAndSixtyThousandMilliseconds)
{
    ManualClock clock;
    FrameSplitter fine(milliseconds(1));
    FrameSplitter coarse(milliseconds(60000));
    fine.Receive(clock.Now().monotonic);
    coarse.Receive(clock.Now().monotonic);
    EXPECT_FALSE(fine.Receive(clock.Now().monotonic));
    clock.Advance(milliseconds(1));
    EXPECT_TRUE(fine.Receive(clock.Now().monotonic));
    clock.Advance(milliseconds(59998));
    EXPECT_FALSE(coarse.Receive(clock.Now().monotonic));
    clock.Advance(milliseconds(60000));
    EXPECT_TRUE(coarse.Receive(clock.Now().monotonic));
}

TEST_F(FrameTextTest, WithEverythingOffTheTextIsTheDisplayFormsAlone)
{
    FrameText frames(milliseconds(20));
    Receive(frames, "Hi\r\n");
    clock.Advance(milliseconds(500));
    Receive(frames, "\x01\x02", true);
    frames.Interrupt(false);
    Receive(frames, "A");
    EXPECT_EQ(out, "Hi\r\n01 02 A");
}

TEST_F(FrameTextTest, FramesSplitAtTheGapEachOnALineWithItsTime)
{
    FrameText frames(milliseconds(20), true);
    Receive(frames, "\x01\x03", true);
    clock.Advance(milliseconds(19));
    Receive(frames, std::string("\x00\x0A", 2), true);
    clock.Advance(milliseconds(21));
    Receive(frames, "OK\r\n");
    clock.Advance(milliseconds(20));
    Receive(frames, "B");
    EXPECT_EQ(out, "[12:34:56.789]" + kIn + "01 03 00 0A \r\n[12:34:56.829]" + kIn + "OK\r\n[12:34:56.849]" + kIn + "B");
}

TEST_F(FrameTextTest, SentFramesStandOnTheirOwnLines)
{
    FrameText stamped(milliseconds(20), true);
    Receive(stamped, "ab");
    clock.Advance(milliseconds(5));
    Send(stamped, "\x01\x03", true);
    clock.Advance(milliseconds(5));
    Receive(stamped, "cd");
    EXPECT_EQ(out, "[12:34:56.789]" + kIn + "ab\r\n[12:34:56.794]" + kOut + "01 03 \r\n[12:34:56.799]" + kIn + "cd");

    out.clear();
    FrameText plain(milliseconds(20));
    Send(plain, "AT\r\n");
    Receive(plain, "OK");
    Send(plain, "X");
    Receive(plain, "Y");
    EXPECT_EQ(out, kOut + "AT\r\nOK\r\n" + kOut + "X\r\nY");
}

// A stream of sent bytes goes on one frame until a silence of the gap, received bytes, a sent
// frame of the user's or a note come between.
TEST_F(FrameTextTest, PassedOnBytesGoOnOneSentFrameWhileTheyComeWithinTheGap)
{
    FrameText frames(milliseconds(20), true);
    PassOn(frames, "AB");
    clock.Advance(milliseconds(19));
    PassOn(frames, "CD");
    clock.Advance(milliseconds(20));
    PassOn(frames, "EF");
    Receive(frames, "r");
    PassOn(frames, "GH");
    Send(frames, "s");
    PassOn(frames, "IJ");
    frames.AppendNote(out, "n");
    PassOn(frames, "KL");
    EXPECT_EQ(out, "[12:34:56.789]" + kOut + "ABCD\r\n[12:34:56.828]" + kOut + "EF\r\n[12:34:56.828]" + kIn +
                       "r\r\n[12:34:56.828]" + kOut + "GH\r\n[12:34:56.828]" + kOut + "s\r\n[12:34:56.828]" + kOut +
                       "IJ\r\nn\r\n[12:34:56.828]" + kOut + "KL");
}

TEST_F(FrameTextTest, AnInterruptedFrameShowsItsOwnHeaderAgain)
{
    FrameText frames(milliseconds(20), true);
    Receive(frames, "ab");
    out.clear();
    frames.Interrupt(true);
    clock.Advance(milliseconds(10));
    Receive(frames, "cd");
    EXPECT_EQ(out, "[12:34:56.789]" + kIn + "cd");

    out += "\r\n--line--\r\n";
    frames.Interrupt(true);
    Receive(frames, "e");
    EXPECT_EQ(out, "[12:34:56.789]" + kIn + "cd\r\n--line--\r\n[12:34:56.789]" + kIn + "e");
}

TEST_F(FrameTextTest, ArrowsFollowTheCodecAndEndLineClosesTheText)
{
    FrameText frames(milliseconds(20), true, TextCodec::Utf8);
    Receive(frames, "\x41", true);
    frames.EndLine(out);
    frames.EndLine(out);
    EXPECT_EQ(out, "[12:34:56.789]" + kInUtf8 + "41 \r\n");
}

TEST_F(FrameTextTest, ReadsWithoutBytesChangeNothing)
{
    FrameText frames(milliseconds(20), true);
    frames.AppendReceived(out, nullptr, 0, false, clock.Now());
    EXPECT_EQ(out, "");
}

TEST(ReceiveAreaFrames, FramesContinueAcrossTheClearingAt30000)
{
    ManualClock clock;
    ReceiveArea area;
    DisplayOptions options;
    options.timeStamps = true;
    area.SetOptions(options);
    const std::string chunk(1000, 'x');
    const auto* bytes = reinterpret_cast<const unsigned char*>(chunk.data());
    bool cleared = false;
    while (!cleared) {
        area.AppendReceived(bytes, chunk.size(), false, clock.Now());
        clock.Advance(milliseconds(1));
        cleared = area.ApplyClearingRules(false);
    }
    // The text that counted toward the limit held the header as well as the bytes.
    area.AppendReceived(bytes, 3, false, clock.Now());
    EXPECT_EQ(area.Text(), "[12:34:56.789]" + kIn + "xxx");
    clock.Advance(milliseconds(20));
    area.AppendReceived(bytes, 1, false, clock.Now());
    EXPECT_EQ(area.Text(), "[12:34:56.789]" + kIn + "xxx\r\n[12:34:56.839]" + kIn + "x");
}

TEST(ReceiveAreaFrames, SentFramesOnlyWithShowSentAndTheAreaConvertsItsTextWithTheCodec)
{
    ManualClock clock;
    ReceiveArea area;
    const unsigned char ok[] = {'O', 'K'};
    EXPECT_FALSE(area.AppendSent(ok, 2, false, clock.Now()));
    EXPECT_EQ(area.Text(), "");

    area.AppendText("\xC4\xE3");  // "你" in GBK
    DisplayOptions options;
    options.showSent = true;
    options.codec = TextCodec::Utf8;
    const auto generation = area.Generation();
    area.SetOptions(options);
    EXPECT_EQ(area.Text(), "你");
    EXPECT_NE(area.Generation(), generation) << "a view must show the converted text from the start";
    EXPECT_TRUE(area.AppendSent(ok, 2, false, clock.Now()));
    area.AppendText("\r\n--\xD7\xD4--\r\n");
    EXPECT_EQ(area.Text(), "你\r\n发→OK\r\n--自--\r\n");
}
