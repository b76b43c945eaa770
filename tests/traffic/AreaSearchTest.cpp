#include <gtest/gtest.h>

#include "tests/support/ManualClock.h"
#include "traffic/AreaSearch.h"

namespace {

using std::chrono::milliseconds;

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

std::vector<std::string> Found(const ReceiveArea& area, const FindPattern& pattern, std::size_t limit = 100)
{
    std::vector<std::string> found;
    for (const AreaMatch& match : FindInArea(area, pattern, limit)) {
        found.push_back(area.Text().substr(match.begin, match.end - match.begin));
    }
    return found;
}

}  // namespace

// Text patterns are found wherever the area shows them; byte patterns only in received bytes,
// in the form the area shows them in, never in a header or a sent frame.
TEST(AreaSearch, TextIsFoundAnywhereAndBytesOnlyWhereTheyWereReceived)
{
    ManualClock clock;
    ReceiveArea area;
    DisplayOptions options;
    options.timeStamps = true;
    options.showSent = true;
    area.SetOptions(options);
    area.AppendReceived(Bytes("ok:OK"), 5, false, clock.Now());
    clock.Advance(milliseconds(50));
    area.AppendReceived(Bytes("\x01:\x02"), 3, true, clock.Now());   // shown in hex
    area.AppendSent(Bytes(":ok"), 3, false, clock.Now());
    area.AppendText("\r\n--line ok--\r\n");

    struct Case {
        const char* what;
        FindPattern pattern;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {"text, case folded", {"ok", false, false}, {"ok", "OK", "ok", "ok"}},
        {"text, case kept", {"OK", false, true}, {"OK"}},
        {"a colon of a time header is text", {":", false, false}, {":", ":", ":", ":", ":", ":", ":", ":"}},
        {"bytes in either form, not the headers' or the sent frame's", {":", true, false}, {":", "3A"}},
        {"bytes in hex form, pair by pair", {"\x3A\x02", true, false}, {"3A 02"}},
        {"bytes split between forms are not one match", {"K\x01", true, false}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Found(area, c.pattern), c.found);
    }
    EXPECT_EQ(Found(area, {"ok", false, false}, 2).size(), 2u) << "at most the limit";
    area.Clear();
    EXPECT_TRUE(Found(area, {":", true, false}).empty()) << "the ranges go with the text";
}

TEST(AreaSearch, ATextMatchNeverBeginsInsideAGbkCharacterAndLongPatternsAreFine)
{
    ReceiveArea area;
    area.AppendText("\xB1\x41" "A");  // a GBK character whose second byte is 'A', then 'A'
    const std::vector<AreaMatch> matches = FindInArea(area, {"A", false, true}, 10);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0].begin, 2u);

    const std::string long_(10000, 'x');
    area.AppendText(long_ + long_);
    EXPECT_EQ(FindInArea(area, {long_, false, false}, 10).size(), 2u);
}

TEST(AreaSearch, HexPatternsTakePairsWithBlanksAndRefuseAnythingElse)
{
    EXPECT_EQ(HexPatternBytes("01 0a0B"), std::string("\x01\x0A\x0B"));
    EXPECT_EQ(HexPatternBytes(" 4 1 "), std::string("A"));
    for (const char* bad : {"", "   ", "0", "012", "0G", "01,02", "好"}) {
        EXPECT_EQ(HexPatternBytes(bad), std::nullopt) << bad;
    }
}
