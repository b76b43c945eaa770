#include "traffic/Capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/platform/TempDir.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ManualClock.h"

using std::chrono::milliseconds;

namespace {

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Waits up to `limit` for `condition`, looking every few milliseconds.
template <typename Condition>
bool Eventually(Condition condition, milliseconds limit = milliseconds(2000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

class CaptureTest : public ::testing::Test {
protected:
    void Receive(const std::string& bytes) { capture.Received(Bytes(bytes), bytes.size(), clock.Now()); }
    void Send(const std::string& bytes) { capture.Sent(Bytes(bytes), bytes.size(), clock.Now()); }

    TempDir dir;
    ManualClock clock;
    Capture capture;
    DisplayOptions options;
};

}  // namespace

TEST_F(CaptureTest, RawHoldsTheReceivedBytesExactlyAndNothingSent)
{
    options.showSent = true;
    ASSERT_EQ(capture.Start(dir.File("raw.log"), CaptureOpen::CreateNew, options), "");
    std::string all;
    for (int i = 0; i < 256; ++i) {
        const std::string piece(static_cast<std::size_t>(i) + 1, static_cast<char>(i));
        Receive(piece);
        Send("never");
        all += piece;
    }
    EXPECT_EQ(capture.Stop(), std::nullopt);
    EXPECT_EQ(ReadFile(dir.File("raw.log")), all);
}

TEST_F(CaptureTest, LogHoldsTheFramesInHexWithTheirTimes)
{
    options.captureFormat = CaptureFormat::Log;
    options.showSent = true;
    ASSERT_EQ(capture.Start(dir.File("frames.log"), CaptureOpen::CreateNew, options), "");
    Receive("\x01\x03");
    clock.Advance(milliseconds(19));
    Receive(std::string("\x00\x0A", 2));
    clock.Advance(milliseconds(5));
    Send("AT");
    clock.Advance(milliseconds(1));
    Receive("OK");
    clock.Advance(milliseconds(20));
    Receive("\r\n");
    capture.Stop();
    EXPECT_EQ(ReadFile(dir.File("frames.log")),
              "[12:34:56.789]\xCA\xD5\xA1\xFB" "01 03 00 0A \r\n"
              "[12:34:56.813]\xB7\xA2\xA1\xFA" "41 54 \r\n"
              "[12:34:56.814]\xCA\xD5\xA1\xFB" "4F 4B \r\n"
              "[12:34:56.834]\xCA\xD5\xA1\xFB" "0D 0A \r\n");
}

TEST_F(CaptureTest, LogFollowsAChangedGapAndStaysExactOverManyMegabytes)
{
    options.captureFormat = CaptureFormat::Log;
    options.showSent = true;
    ASSERT_EQ(capture.Start(dir.File("long.log"), CaptureOpen::CreateNew, options), "");
    Receive("A");
    clock.Advance(milliseconds(50));
    options.frameGapMs = 100;
    capture.SetOptions(options);
    Receive("B");  // 50 ms after A: a gap of 100 keeps it in A's frame
    // Far more than the writer turns into lines at once, in reads of the window's size.
    std::string expected = "[12:34:56.789]\xCA\xD5\xA1\xFB" "41 42 ";
    const std::string read(1024, '\x5A');
    for (int i = 0; i < 1500; ++i) {
        Receive(read);
        for (int b = 0; b < 1024; ++b) {
            expected += "5A ";
        }
        if (i % 500 == 499) {
            Send("\x01");
            expected += "\r\n[12:34:56.839]\xB7\xA2\xA1\xFA" "01 \r\n[12:34:56.839]\xCA\xD5\xA1\xFB";
        }
    }
    capture.Stop();
    expected.erase(expected.size() - std::string("[12:34:56.839]\xCA\xD5\xA1\xFB").size());
    const std::string log = ReadFile(dir.File("long.log"));
    EXPECT_EQ(log.size(), expected.size());
    EXPECT_TRUE(log == expected);
}

TEST_F(CaptureTest, LogWithoutSentFramesAndInUtf8)
{
    options.captureFormat = CaptureFormat::Log;
    options.codec = TextCodec::Utf8;
    ASSERT_EQ(capture.Start(dir.File("utf8.log"), CaptureOpen::CreateNew, options), "");
    Receive("A");
    Send("B");
    capture.Stop();
    EXPECT_EQ(ReadFile(dir.File("utf8.log")), "[12:34:56.789]收←41 \r\n");
}

TEST_F(CaptureTest, StopAndStartAgainNewEmptiedOrContinued)
{
    const std::string first = dir.File("first.log");
    ASSERT_EQ(capture.Start(first, CaptureOpen::CreateNew, options), "");
    Receive("one");
    capture.Stop();
    EXPECT_FALSE(capture.IsActive());
    Receive("lost");

    EXPECT_EQ(capture.Start(first, CaptureOpen::CreateNew, options), std::strerror(EEXIST))
        << "a new file never replaces one that is there";
    ASSERT_EQ(capture.Start(first, CaptureOpen::Append, options), "");
    EXPECT_EQ(capture.FileSize(), 3u);
    Receive("two");
    capture.Stop();
    EXPECT_EQ(ReadFile(first), "onetwo");

    ASSERT_EQ(capture.Start(first, CaptureOpen::Truncate, options), "");
    Receive("three");
    capture.Stop();
    EXPECT_EQ(ReadFile(first), "three");
}

TEST_F(CaptureTest, DataReachesTheFileWithinASecondWithoutStopping)
{
    ASSERT_EQ(capture.Start(dir.File("live.log"), CaptureOpen::CreateNew, options), "");
    Receive("abc");
    EXPECT_TRUE(Eventually([&] { return ReadFile(dir.File("live.log")) == "abc"; }, milliseconds(1000)));
    EXPECT_EQ(capture.FileSize(), 3u);
    capture.Stop();
}

TEST_F(CaptureTest, AFileThatCannotBeCreatedIsRefusedWithTheReason)
{
    EXPECT_EQ(capture.Start(dir.File("missing/x.log"), CaptureOpen::CreateNew, options), std::strerror(ENOENT));
    EXPECT_EQ(capture.Start(dir.Path(), CaptureOpen::Append, options), std::strerror(EISDIR));
    EXPECT_FALSE(capture.IsActive());
    Receive("nothing happens");
    EXPECT_EQ(capture.Stop(), std::nullopt);
}

TEST_F(CaptureTest, AFullDiskStopsTheCaptureAndKeepsWhatWasWritten)
{
    const std::string path = dir.File("full.log");
    ASSERT_EQ(capture.Start(path, CaptureOpen::CreateNew, options), "");
    std::string written;
    {
        FileSizeLimit limit(4096);
        for (int i = 0; i < 20 && !capture.Failure(); ++i) {
            const std::string piece(1000, static_cast<char>('a' + i));
            Receive(piece);
            written += piece;
            std::this_thread::sleep_for(milliseconds(60));
        }
        ASSERT_TRUE(Eventually([&] { return capture.Failure().has_value(); }));
    }
    const std::optional<CaptureFailure> failure = capture.Stop();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind, CaptureFailure::WriteFailed);
    EXPECT_EQ(failure->error, EFBIG);
    EXPECT_EQ(ReadFile(path), written.substr(0, 4096)) << "what was written stays readable";
    EXPECT_EQ(capture.FileSize(), 4096u);
}

TEST_F(CaptureTest, AVanishingFolderIsNoticed)
{
    const std::string folder = dir.File("gone");
    std::filesystem::create_directory(folder);
    ASSERT_EQ(capture.Start(folder + "/x.log", CaptureOpen::CreateNew, options), "");
    Receive("abc");
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(Eventually([&] { return capture.Failure().has_value(); }));
    Receive("more");
    const std::optional<CaptureFailure> failure = capture.Stop();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind, CaptureFailure::FileGone);
}

TEST(CaptureWriter, AQueueBeyondItsLimitStopsTakingButWritesWhatItTook)
{
    TempDir dir;
    CaptureWriter writer(8);
    ASSERT_EQ(writer.Open(dir.File("slow.log"), CaptureOpen::CreateNew), "");
    EXPECT_TRUE(writer.Write("12345"));
    EXPECT_FALSE(writer.Write("123456789"));
    EXPECT_FALSE(writer.Write("6"));
    const std::optional<CaptureFailure> failure = writer.Close();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->kind, CaptureFailure::TooSlow);
    EXPECT_EQ(ReadFile(dir.File("slow.log")), "12345");
}
