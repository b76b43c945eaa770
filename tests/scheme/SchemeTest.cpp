// The scheme as a model: who hears of which change, and when.
#include <gtest/gtest.h>

#include "scheme/Scheme.h"

namespace {

struct News : SchemeListener {
    void RulesChanged() override { ++rules; }
    void SendListChanged() override { ++sendList; }
    int rules = 0;
    int sendList = 0;
};

}  // namespace

TEST(SchemeTest, EveryChangeIsToldOnceToEachListenerAndAHoldTellsEachPartOnceAtItsEnd)
{
    Scheme scheme;
    News news;
    scheme.AddListener(&news);
    scheme.AddRule({"a", "1", "2", 0, 0});
    EXPECT_TRUE(scheme.ChangeRule(scheme.Rules()[0].get(), {"b", "1", "2", 0, 0}));
    EXPECT_FALSE(scheme.RemoveRule(nullptr)) << "nothing changed, nothing told";
    auto entry = std::make_shared<SendItem>(SendItem{0, "c", "d"});
    scheme.AddSendItem(entry);
    EXPECT_EQ(news.rules, 2);
    EXPECT_EQ(news.sendList, 1);

    {
        const Scheme::NewsHeld held(scheme);
        scheme.AddSendItem(std::make_shared<SendItem>());
        EXPECT_TRUE(scheme.RemoveSendItem(entry.get()));
        EXPECT_EQ(news.sendList, 1) << "held back";
    }
    EXPECT_EQ(news.sendList, 2);
    EXPECT_EQ(news.rules, 2);

    scheme.RemoveListener(&news);
    scheme.AddRule({});
    EXPECT_EQ(news.rules, 2);
}

TEST(SchemeTest, ChangedEntriesGetTheirValuesAndEntriesNoLongerInTheListAreLeftAlone)
{
    Scheme scheme;
    auto kept = std::make_shared<SendItem>(SendItem{0, "kept", "1"});
    auto gone = std::make_shared<SendItem>(SendItem{0, "gone", "2"});
    scheme.AddSendItem(kept);
    scheme.AddSendItem(gone);
    scheme.RemoveSendItem(gone.get());
    scheme.ChangeSendItems({{kept.get(), {1, "new", "AA"}}, {gone.get(), {1, "x", "y"}}});
    EXPECT_EQ(kept->Caption, "new");
    EXPECT_EQ(kept->IsHex, 1);
    EXPECT_EQ(gone->Caption, "gone");
}

TEST(SchemeTest, AListenerThatGoesWhileOthersHearOfAChangeIsNotCalled)
{
    Scheme scheme;
    News second;
    struct Remover : SchemeListener {
        void RulesChanged() override { scheme->RemoveListener(other); }
        Scheme* scheme;
        SchemeListener* other;
    } first;
    first.scheme = &scheme;
    first.other = &second;
    scheme.AddListener(&first);
    scheme.AddListener(&second);
    scheme.AddRule({});
    EXPECT_EQ(second.rules, 0);
}

// Ids tell rules apart while the program runs: edits keep them, every added or imported rule
// gets a new one; statistics count every firing and keep the latencies of the last 1000.
TEST(SchemeTest, RulesKeepTheirIdsThroughEditsAndTheirStatisticsCountEveryFiring)
{
    Scheme scheme;
    scheme.AddRule({"a", "A", "1", 0, 0});
    scheme.AddRule({"b", "B", "2", 0, 0});
    const std::uint64_t first = scheme.Rules()[0]->Id;
    EXPECT_NE(first, 0u);
    EXPECT_NE(scheme.Rules()[1]->Id, first);
    scheme.ChangeRule(scheme.Rules()[0].get(), {"a2", "A", "1", 0, 0});
    EXPECT_EQ(scheme.Rules()[0]->Id, first);

    ReplyStatistics statistics;
    const auto when = std::chrono::system_clock::now();
    using std::chrono::microseconds;
    for (int i = 1; i <= 1500; ++i) {
        // Latencies 1..1500 µs; a firing taken before its reply was written has none.
        statistics.Record(first, when,
                          i % 500 == 0 ? std::nullopt : std::optional<ReplyStatistics::Latency>(microseconds(i)));
    }
    const std::optional<ReplyStatistics::Figures> figures = statistics.Of(first);
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->fired, 1500u);
    EXPECT_EQ(figures->lastFired, when);
    EXPECT_EQ(figures->last, microseconds(1499));
    EXPECT_EQ(figures->longest, microseconds(1499));
    // The last 1000 timed firings are 498..1499 without 500 and 1000: the middle two are 998 and 999.
    EXPECT_EQ(figures->median, std::chrono::nanoseconds(998500));
    EXPECT_FALSE(statistics.Of(scheme.Rules()[1]->Id));

    statistics.Record(7, when, std::nullopt);
    EXPECT_FALSE(statistics.Of(7)->timed);
    statistics.Clear();
    EXPECT_FALSE(statistics.Of(first));
}
