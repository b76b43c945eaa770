#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "controls/RowOrder.h"

namespace {

// Sorts the texts the way the list sorts a column and returns them in the new order.
std::vector<std::string> SortTexts(const std::vector<std::string>& texts, bool ascending,
    const DateParser& parseDate = {})
{
    ColumnOrder order(texts, parseDate);
    std::vector<int> entries(texts.size());
    for (std::size_t k = 0; k < entries.size(); ++k)
        entries[k] = static_cast<int>(k);
    QuickSortEntries(entries, ascending, [&order](int a, int b) {
        return order.Compare(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
    });
    std::vector<std::string> sorted;
    for (int entry : entries)
        sorted.push_back(texts[static_cast<std::size_t>(entry)]);
    return sorted;
}

// A stand-in for the locale's parser: "YYYY/MM/DD" only.
std::optional<double> ParseSlashDate(const std::string& text)
{
    int year = 0, month = 0, day = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d/%d/%d%c", &year, &month, &day, &rest) != 3)
        return std::nullopt;
    return year * 400.0 + month * 32.0 + day;
}

} // namespace

TEST(RowOrderTest, HexadecimalRuleComesFirst)
{
    EXPECT_EQ(SortTexts({"10", "9", "0x1F", "A"}, true), (std::vector<std::string>{"9", "A", "10", "0x1F"}));
    EXPECT_EQ(SortTexts({"aa", "b"}, true), (std::vector<std::string>{"b", "aa"}));
    EXPECT_EQ(SortTexts({"-1", "ff"}, true), (std::vector<std::string>{"ff", "-1"}));
}

TEST(RowOrderTest, HexadecimalReadingBehavesAsA32BitConversion)
{
    EXPECT_EQ(ReadHexadecimal("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHexadecimal("-FFFFFFFF"), 1u);
    EXPECT_EQ(ReadHexadecimal("  +0X7f"), 0x7Fu);
    // Beyond 32 bits the conversion saturates, whatever the sign.
    EXPECT_EQ(ReadHexadecimal("100000000"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHexadecimal("-100000000"), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHexadecimal(std::string(5000, 'f')), 0xFFFFFFFFu);
    EXPECT_EQ(ReadHexadecimal("00000000000000000000001"), 1u);
    for (const char* notHex : {"", " ", "0x", "0xg", "12 ", "1.5", "--1", "-", "g"})
        EXPECT_FALSE(ReadHexadecimal(notHex).has_value()) << '"' << notHex << '"';
    EXPECT_FALSE(ReadHexadecimal(std::string("1\0" "2", 3)).has_value());
}

TEST(RowOrderTest, DecimalRuleAcceptsOneFinalPercentSign)
{
    EXPECT_EQ(SortTexts({"1.5", "12%", "2"}, true), (std::vector<std::string>{"1.5", "2", "12%"}));
    EXPECT_EQ(ReadDecimal(" -2.5e1%"), -25.0);
    EXPECT_EQ(ReadDecimal("+.5"), 0.5);
    EXPECT_EQ(ReadDecimal("0x1.8p1"), 3.0);
    EXPECT_EQ(ReadDecimal("1e999"), HUGE_VAL);
    EXPECT_EQ(ReadDecimal("-1e999"), -HUGE_VAL);
    EXPECT_EQ(ReadDecimal("1e-999"), 0.0);
    EXPECT_EQ(ReadDecimal("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(ReadDecimal(std::string(400, '9') + ".5"), HUGE_VAL);
    for (const char* notDecimal : {"", "%", "1%%", "1 %", "+-1", "1e", "1,5", ".", "- 1"})
        EXPECT_FALSE(ReadDecimal(notDecimal).has_value()) << '"' << notDecimal << '"';
}

TEST(RowOrderTest, PairsOnlyOneRuleAcceptsFallThrough)
{
    // '12' is hex, '1.5' is not: both are decimal, so 12 > 1.5.
    EXPECT_EQ(CompareCellTexts("12", "1.5", {}), 1);
    // '12' and 'abc!' share no numeric rule: compared as text, '1' < 'a'.
    EXPECT_EQ(CompareCellTexts("12", "abc!", {}), -1);
    EXPECT_EQ(CompareCellTexts("abc!", "12", {}), 1);
    // Dates are compared as moments, not as text; a date against a non-date is text.
    EXPECT_EQ(CompareCellTexts("2024/2/1", "2024/10/1", ParseSlashDate), -1);
    EXPECT_EQ(CompareCellTexts("2024/2/1", "2024/10/1", {}), 1);
    EXPECT_EQ(CompareCellTexts("2024/2/1", "+", ParseSlashDate), 1);
}

TEST(RowOrderTest, EmptyTextIsNeverNumericOrADate)
{
    const DateParser everythingIsADate = [](const std::string& text) {
        EXPECT_FALSE(text.empty());
        return std::optional<double>(0.0);
    };
    EXPECT_EQ(SortTexts({"5", "", "zz", "-1"}, true), (std::vector<std::string>{"", "5", "-1", "zz"}));
    EXPECT_EQ(CompareCellTexts("", "+", everythingIsADate), -1);
    EXPECT_EQ(CompareCellTexts("", "", everythingIsADate), 0);
}

TEST(RowOrderTest, TextComparisonUsesGbkCharacterCodes)
{
    EXPECT_LT(CompareGbkTexts("B", "a"), 0) << "case-sensitive";
    EXPECT_LT(CompareGbkTexts("ab", "abc"), 0);
    EXPECT_EQ(CompareGbkTexts("\xB0\xA1", "\xB0\xA1"), 0);
    // A two-byte character sorts after every single byte, including 0xFF.
    EXPECT_GT(CompareGbkTexts("\xB0\xA1", "\xFF"), 0);
    EXPECT_LT(CompareGbkTexts("\xB0\xA1", "\xB0\xA2"), 0);
    EXPECT_LT(CompareGbkTexts("\xB0", "\xB0\xA1"), 0);
}

TEST(RowOrderTest, DescendingReversesAndEqualTextsStayTogether)
{
    EXPECT_EQ(SortTexts({"b", "c", "a", "b"}, false), (std::vector<std::string>{"c", "b", "b", "a"}));
    std::mt19937 random(7);
    std::vector<std::string> texts;
    for (int k = 0; k < 2000; ++k)
        texts.push_back(std::to_string(random() % 300) + (k % 3 == 0 ? "%" : ""));
    const std::vector<std::string> ascending = SortTexts(texts, true);
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end(), [](const auto& a, const auto& b) {
        return *ReadDecimal(a) < *ReadDecimal(b);
    }));
    std::vector<std::string> sortedInput = texts;
    std::vector<std::string> sortedOutput = ascending;
    std::sort(sortedInput.begin(), sortedInput.end());
    std::sort(sortedOutput.begin(), sortedOutput.end());
    EXPECT_EQ(sortedInput, sortedOutput) << "the sort only reorders";
}

TEST(RowOrderTest, SortIsNotStableLikeTheListsQuicksort)
{
    // Three equal keys and the middle pivot: the first swap exchanges the two outer entries.
    std::vector<int> entries{0, 1, 2};
    QuickSortEntries(entries, true, [](int, int) { return 0; });
    EXPECT_EQ(entries, (std::vector<int>{2, 1, 0}));
}

TEST(RowOrderTest, InconsistentComparisonStaysInBoundsAndEnds)
{
    std::mt19937 random(3);
    std::vector<int> entries(500);
    for (std::size_t k = 0; k < entries.size(); ++k)
        entries[k] = static_cast<int>(k);
    QuickSortEntries(entries, true, [&random](int, int) { return static_cast<int>(random() % 3) - 1; });
    std::vector<int> sorted = entries;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t k = 0; k < sorted.size(); ++k)
        ASSERT_EQ(sorted[k], static_cast<int>(k));
}
