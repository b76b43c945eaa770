// The timeline across ports: order, frames split by each feed's gap, its bounds, its CSV.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/CodePage.h"
#include "session/Timeline.h"
#include "traffic/Codec.h"

namespace {

using std::chrono::milliseconds;

ReadTime At(int ms)
{
    const std::chrono::steady_clock::time_point start(std::chrono::hours(1));
    return {start + milliseconds(ms), std::chrono::system_clock::time_point(std::chrono::hours(24)) + milliseconds(ms)};
}

void Receive(Timeline::Feed& feed, int port, const std::string& bytes, int ms, int gapMs = 20)
{
    feed.Received(port, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), At(ms), milliseconds(gapMs));
}

void Send(Timeline::Feed& feed, int port, const std::string& bytes, int ms)
{
    feed.Sent(port, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), At(ms));
}

std::vector<std::string> Rows(const Timeline& timeline)
{
    std::vector<std::string> rows;
    for (const TimelineFrame& frame : timeline.Frames()) {
        rows.push_back("COM" + std::to_string(frame.port) + (frame.sent ? ">" : "<") + frame.bytes);
    }
    return rows;
}

// The fields of CSV lines, quoted fields unquoted.
std::vector<std::vector<std::string>> ParseCsv(const std::string& csv)
{
    std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (quoted && c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
            lines.back().back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            lines.back().emplace_back();
        } else if (!quoted && c == '\r' && i + 1 < csv.size() && csv[i + 1] == '\n') {
            lines.emplace_back(1);
            ++i;
        } else {
            lines.back().back() += c;
        }
    }
    lines.pop_back();  // after the last line break
    return lines;
}

}  // namespace

// Reads reach the timeline late and out of order across ports, as each window takes them; the
// frames stand in the order their first bytes were read, each port split by its own gap.
TEST(Timeline, FramesOfSeveralPortsStandInTheOrderTheyHappenedEachSplitByItsOwnGap)
{
    Timeline timeline;
    Timeline::Feed com3(timeline);
    Timeline::Feed com4(timeline);
    Receive(com3, 3, "AB", 0);
    Receive(com3, 3, "CD", 15);             // within COM3's gap of 20 ms: the same frame
    Receive(com4, 4, "xy", 10, 5);          // read before COM3's second bytes, taken after them
    Receive(com4, 4, "z", 16, 5);           // COM4's gap is 5 ms: a frame of its own
    Send(com3, 3, "Q", 30);
    Receive(com3, 3, "EF", 31);             // after a send: a new frame
    Receive(com4, 4, "w", 29, 5);
    EXPECT_EQ(Rows(timeline), (std::vector<std::string>{"COM3<ABCD", "COM4<xy", "COM4<z", "COM4<w", "COM3>Q",
                                                        "COM3<EF"}));
}

TEST(Timeline, AFloodKeepsAtMostItsFramesAndBytesAndTheNewestOfThem)
{
    struct Case {
        const char* what;
        std::size_t pieceBytes;
        int pieces;
        int msBetween;
    };
    for (const Case& c : {Case{"one long frame of 40 MiB", 1024, 40 * 1024, 0},
                          Case{"200,000 frames of a byte", 1, 200000, 1000}}) {
        SCOPED_TRACE(c.what);
        Timeline timeline;
        Timeline::Feed feed(timeline);
        for (int i = 0; i < c.pieces; ++i) {
            Receive(feed, 1, std::string(c.pieceBytes, static_cast<char>('a' + i % 26)), i * c.msBetween);
        }
        std::size_t bytes = 0;
        for (const TimelineFrame& frame : timeline.Frames()) {
            bytes += frame.bytes.size();
            EXPECT_LE(frame.bytes.size(), Timeline::kMaxFrameBytes);
        }
        EXPECT_LE(timeline.Frames().size(), Timeline::kMaxFrames);
        EXPECT_LE(bytes, Timeline::kMaxBytes);
        EXPECT_GE(bytes, std::min<std::size_t>(Timeline::kMaxBytes - Timeline::kMaxFrameBytes, Timeline::kMaxFrames));
        EXPECT_EQ(timeline.Frames().back().bytes.back(), static_cast<char>('a' + (c.pieces - 1) % 26));
    }
}

TEST(Timeline, TheCsvHoldsEveryByteValueExactlyInItsHexColumn)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    Timeline timeline;
    Timeline::Feed feed(timeline);
    Receive(feed, 7, all, 0);
    Send(feed, 7, all, 40);
    std::vector<const TimelineFrame*> rows;
    for (const TimelineFrame& frame : timeline.Frames()) {
        rows.push_back(&frame);
    }

    const std::vector<std::vector<std::string>> lines = ParseCsv(TimelineCsv(rows));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0][0], Utf8ToGbk("时间"));
    for (std::size_t line = 1; line < lines.size(); ++line) {
        ASSERT_EQ(lines[line].size(), 6u) << line;
        unsigned char bytes[512];
        const std::size_t count = HexPairsToBytes(lines[line][4], bytes, sizeof bytes);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), count), all);
        EXPECT_EQ(lines[line][2], "COM7");
        EXPECT_EQ(lines[line][5].size(), all.size()) << "the text column: a character for each byte";
    }
    EXPECT_EQ(lines[1][3], Utf8ToGbk("收"));
    EXPECT_EQ(lines[2][3], Utf8ToGbk("发"));
    EXPECT_EQ(lines[2][1], "40.000");
}
