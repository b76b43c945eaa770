#include "traffic/InstantReply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class InstantReplyTest : public ::testing::Test {
protected:
    void AddRule(const std::string& name, const std::string& recv, int recvHex, const std::string& send, int sendHex)
    {
        rules.push_back(std::make_unique<ProtocolRule>(ProtocolRule{name, recv, send, recvHex, sendHex}));
        responder.SetRules(rules);
    }

    std::string Respond(const std::string& bytes)
    {
        return responder.Respond(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }

    std::string FiredNames()
    {
        std::string names;
        for (const InstantReply::Firing& firing : responder.TakeFirings()) {
            names += firing.ruleName + ";";
        }
        return names;
    }

    RuleList rules;
    InstantReply responder;
};

TEST_F(InstantReplyTest, MatchesAsTheWindowDoesAndTellsWhatFired)
{
    AddRule("first", "01 03", 1, "AA BB", 1);
    AddRule("second", "OK", 0, "yes", 0);
    responder.SetEnabled(true);

    EXPECT_EQ(Respond(std::string("\x01\x03\x00", 3)), "\xAA\xBB");
    const std::vector<InstantReply::Firing> firings = responder.TakeFirings();
    ASSERT_EQ(firings.size(), 1u);
    EXPECT_EQ(firings[0].ruleName, "first");
    EXPECT_EQ(firings[0].sendData, "AA BB");
    EXPECT_EQ(firings[0].sendIsHex, 1);
    EXPECT_EQ(firings[0].bytes, "\xAA\xBB");
    EXPECT_TRUE(responder.TakeFirings().empty()) << "taken once";

    // A pattern split over two reads fires on the second; what fired is emptied.
    EXPECT_EQ(Respond("O"), "");
    EXPECT_EQ(Respond("K"), "yes");
    EXPECT_EQ(Respond("K"), "");
    // The first rule in the list wins, wherever its pattern lies.
    EXPECT_EQ(Respond("OK" + std::string("\x01\x03", 2)), "\xAA\xBB");
    EXPECT_EQ(FiredNames(), "second;first;");
}

TEST_F(InstantReplyTest, EachReadOfAtMost1024BytesFiresAtMostOnce)
{
    AddRule("ok", "OK", 0, "y", 0);
    responder.SetEnabled(true);
    EXPECT_EQ(Respond("OK OK"), "y");
    // 2048 bytes are matched as two reads: each half fires.
    EXPECT_EQ(Respond("OK" + std::string(1022, '.') + "OK" + std::string(1022, '.')), "yy");
    // A pattern across the 1024-byte boundary joins up as it does across two reads.
    EXPECT_EQ(Respond(std::string(1023, '.') + "OK"), "y");
}

TEST_F(InstantReplyTest, KeptBytesBeyondTheLimitAreDropped)
{
    AddRule("ok", "OK", 0, "y", 0);
    responder.SetEnabled(true);
    EXPECT_EQ(Respond("O" + std::string(1024, 'x')), "");
    EXPECT_EQ(Respond("K"), "") << "the O went with the full buffer";
    EXPECT_EQ(Respond("OK"), "y");
}

TEST_F(InstantReplyTest, DisabledItKeepsNothingAndAnswersNothing)
{
    AddRule("ok", "OK", 0, "y", 0);
    EXPECT_EQ(Respond("OK"), "");
    EXPECT_EQ(Respond("O"), "");
    responder.SetEnabled(true);
    EXPECT_EQ(Respond("K"), "");
    EXPECT_TRUE(responder.TakeFirings().empty());
}

TEST_F(InstantReplyTest, RulesAreACopyTakenBySetRules)
{
    AddRule("ok", "OK", 0, "y", 0);
    responder.SetEnabled(true);
    rules[0]->SendData = "changed";
    rules.clear();
    EXPECT_EQ(Respond("OK"), "y");
    responder.SetRules(rules);
    EXPECT_EQ(Respond("OK"), "");
}

TEST_F(InstantReplyTest, FiringsTheWindowHasNotTakenAreBoundedButStillAnswered)
{
    AddRule("any", "", 0, "y", 0);
    responder.SetEnabled(true);
    for (std::size_t i = 0; i < InstantReply::kMaxWaitingFirings + 10; ++i) {
        ASSERT_EQ(Respond("."), "y");
    }
    EXPECT_EQ(responder.TakeFirings().size(), InstantReply::kMaxWaitingFirings);
}

}  // namespace
