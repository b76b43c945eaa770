#include "traffic/AutoReply.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

RuleList Rules(std::initializer_list<ProtocolRule> rules)
{
    RuleList list;
    for (const ProtocolRule& rule : rules) {
        list.push_back(std::make_unique<ProtocolRule>(rule));
    }
    return list;
}

ProtocolRule HexRule(const std::string& name, const std::string& pattern) { return {name, pattern, "AA BB", 1, 1}; }
ProtocolRule TextRule(const std::string& name, const std::string& pattern) { return {name, pattern, "ok", 0, 0}; }

int Fire(const RuleList& rules, std::vector<unsigned char> received)
{
    return FindFiringRule(rules, received.data(), received.size());
}

TEST(BuildMatchText, HexIsTrimmedTextDropsZeroBytes)
{
    const unsigned char bytes[] = {0x01, 0x03, 0x00, 0x41};
    EXPECT_EQ(BuildMatchText(bytes, 4, true), "01 03 00 41");
    EXPECT_EQ(BuildMatchText(bytes, 4, false), "\x01\x03" "A");
    EXPECT_EQ(BuildMatchText(nullptr, 0, true), "");
}

TEST(FindFiringRule, HexPatternsAreUpperCasePairsWithSingleSpaces)
{
    EXPECT_EQ(Fire(Rules({HexRule("Q", "01 03")}), {0x01, 0x03, 0x00}), 0);
    EXPECT_EQ(Fire(Rules({HexRule("Q", "0103")}), {0x01, 0x03, 0x00}), -1);
    EXPECT_EQ(Fire(Rules({HexRule("Q", "03 00")}), {0x01, 0x03, 0x00, 0x0A}), 0);
    EXPECT_EQ(Fire(Rules({HexRule("Q", "0a")}), {0x0A}), -1);
    EXPECT_EQ(Fire(Rules({HexRule("Q", "0A ")}), {0x01, 0x0A}), -1);
    EXPECT_EQ(Fire(Rules({HexRule("Q", "0A ")}), {0x0A, 0x01}), 0);
}

TEST(FindFiringRule, TextPatternsSkipZeroBytes)
{
    EXPECT_EQ(Fire(Rules({TextRule("t", "AB")}), {0x41, 0x00, 0x42}), 0);
    EXPECT_EQ(Fire(Rules({TextRule("t", "ab")}), {0x41, 0x42}), -1);
    EXPECT_EQ(Fire(Rules({TextRule("t", "OK")}), {'O'}), -1);
    EXPECT_EQ(Fire(Rules({TextRule("t", "OK")}), {'O', 'K'}), 0);
}

TEST(FindFiringRule, FirstMatchingRuleInListOrderWins)
{
    const RuleList rules = Rules({TextRule("no", "zz"), HexRule("second", "41"), TextRule("third", "A")});
    EXPECT_EQ(Fire(rules, {0x41}), 1);
    const RuleList mixed = Rules({HexRule("hex", "FF"), TextRule("text", "A"), HexRule("hex2", "41")});
    EXPECT_EQ(Fire(mixed, {0x41}), 1);
}

TEST(FindFiringRule, EmptyPatternAlwaysFiresEvenWithoutData)
{
    EXPECT_EQ(Fire(Rules({TextRule("a", "x"), TextRule("empty", "")}), {}), 1);
    EXPECT_EQ(Fire(Rules({HexRule("empty", "")}), {0x01}), 0);
}

TEST(FindFiringRule, NoRulesNoFire)
{
    EXPECT_EQ(Fire(RuleList{}, {0x01}), -1);
}

TEST(AutoReplyLine, GbkLineAroundTheName)
{
    EXPECT_EQ(AutoReplyLine("Q"), "\r\n--" + Utf8ToGbk("自动恢复") + "Q--\r\n");
    EXPECT_EQ(AutoReplyLine(""), "\r\n--" + Utf8ToGbk("自动恢复") + "--\r\n");
}

} // namespace
