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
