#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "traffic/PlotSamples.h"

namespace {

std::vector<double> Values(const PlotSample& sample)
{
    return {sample.values.begin(), sample.values.begin() + sample.count};
}

PlotSample Sample(double seconds, const std::vector<double>& values)
{
    PlotSample sample;
    sample.seconds = seconds;
    for (const double value : values) {
        sample.values[sample.count++] = value;
    }
    return sample;
}

class NumberLineParserTest : public ::testing::Test {
protected:
    void Feed(const std::string& text, double seconds = 0)
    {
        parser_.Feed(reinterpret_cast<const unsigned char*>(text.data()), text.size(), seconds, samples_);
    }

    NumberLineParser parser_;
    std::vector<PlotSample> samples_;
};

struct TextCase {
    const char* text;
    std::vector<std::vector<double>> values;
    std::vector<std::string> names;
    std::uint64_t badLines;
};

}  // namespace

TEST_F(NumberLineParserTest, ReadsBareAndNamedFieldsAndRefusesWholeLinesWithoutFiniteNumbers)
{
    const std::vector<TextCase> cases = {
        {"23.5\n", {{23.5}}, {"1"}, 0},
        {"T=23.5 H=40.1\r\n", {{23.5, 40.1}}, {"T", "H"}, 0},
        {"temp:21;hum:-4e-3\n", {{21, -0.004}}, {"temp", "hum"}, 0},
        {"temp: 21\tx= +7\n", {{21, 7}}, {"temp", "x"}, 0},
        {"a=1 2 c:3\n", {{1, 2, 3}}, {"a", "2", "c"}, 0},
        {" 1,, 2;\t;3 ,\n", {{1, 2, 3}}, {"1", "2", "3"}, 0},
        {"\n\r\n \t\n", {}, {}, 0},
        {"NaN\nnan\n1 inf\n-infinity\n1e999\nabc\n1 x=\n1 2 3 4 5 6 7 8 9 y\n0x10\n1.5.2\n+-1\n", {}, {}, 11},
        {"1 2\na=1 b=2 c=3\nx=9 y=9\n", {{1, 2}, {1, 2, 3}, {9, 9}}, {"a", "b", "c"}, 0},
        {"1 oops\n5\n", {{5}}, {"1"}, 1},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.text);
        parser_.Reset();
        samples_.clear();
        Feed(c.text);
        std::vector<std::vector<double>> values;
        for (const PlotSample& sample : samples_) {
            values.push_back(Values(sample));
        }
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(parser_.Names(), c.names);
        EXPECT_EQ(parser_.BadLines(), c.badLines);
    }
}

TEST_F(NumberLineParserTest, LinesSplitAnywhereTakeTheTimeOfThePieceThatEndsThem)
{
    const std::string text = "T=1.25,H=2\r\n3;4\n";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        parser_.Reset();
        samples_.clear();
        Feed(text.substr(0, cut), 1.0);
        Feed(text.substr(cut), 2.0);
        ASSERT_EQ(samples_.size(), 2U);
        EXPECT_EQ(Values(samples_[0]), (std::vector<double>{1.25, 2}));
        EXPECT_EQ(Values(samples_[1]), (std::vector<double>{3, 4}));
        EXPECT_EQ(samples_[0].seconds, cut < 12 ? 2.0 : 1.0);
        EXPECT_EQ(parser_.Names(), (std::vector<std::string>{"T", "H"}));
    }
}

TEST_F(NumberLineParserTest, KeepsTheFirstEightOfAHundredFields)
{
    std::string line;
    for (int i = 1; i <= 100; ++i) {
        line += std::to_string(i) + ",";
    }
    Feed(line + "\n");
    ASSERT_EQ(samples_.size(), 1U);
    EXPECT_EQ(Values(samples_[0]), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(parser_.Names().size(), kMaxCurves);
}

TEST_F(NumberLineParserTest, AnEndlessLineStaysBoundedAndCountsOnceAsBad)
{
    const std::string piece(64 * 1024, '1');
    for (int i = 0; i < 16; ++i) {
        Feed(piece);
        EXPECT_LE(parser_.PendingBytes(), NumberLineParser::kMaxLine + 1);
    }
    EXPECT_EQ(parser_.BadLines(), 0U);
    Feed("\n5\n");
    EXPECT_EQ(parser_.BadLines(), 1U);
    ASSERT_EQ(samples_.size(), 1U);
    EXPECT_EQ(samples_[0].values[0], 5);
}

TEST_F(NumberLineParserTest, TheLineLimitCountsNeitherCrNorLf)
{
    const std::string longest = "1" + std::string(NumberLineParser::kMaxLine - 1, ' ');
    Feed(longest + "\r\n" + longest + "\n" + longest + " \n" + longest + " \r\n");
    EXPECT_EQ(samples_.size(), 2U);
    EXPECT_EQ(parser_.BadLines(), 2U);
}

TEST_F(NumberLineParserTest, ResetForgetsThePartialLineNamesAndCounts)
{
    Feed("T=1\nbad\nH=");
    parser_.Reset();
    Feed("2\n");
    EXPECT_EQ(parser_.Names(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(parser_.BadLines(), 0U);
    EXPECT_EQ(parser_.PendingBytes(), 0U);
}

TEST(BinaryField, ReadsEveryTypeInBothByteOrdersAndOnlyInsideTheFrame)
{
    using T = BinaryField::Type;
    const unsigned char frame[] = {0xFF, 0xFE, 0x80, 0x00, 0x00, 0x01, 0x3F, 0xC0, 0x00, 0x00,
                                   0xC0, 0xBF, 0x7F, 0x80, 0x00, 0x00, 0x7F, 0xC0, 0x00, 0x00};
    constexpr std::size_t kHuge = std::numeric_limits<std::size_t>::max();
    const struct {
        BinaryField field;
        std::optional<double> value;
    } cases[] = {
        {{0, T::Int8, true}, -1},           {{0, T::Uint8, false}, 255},       {{0, T::Int16, true}, -2},
        {{0, T::Int16, false}, -257},       {{0, T::Uint16, true}, 65534},     {{0, T::Uint16, false}, 65279},
        {{4, T::Int16, false}, 256},        {{2, T::Int32, true}, -2147483647}, {{2, T::Int32, false}, 16777344},
        {{2, T::Uint32, true}, 2147483649}, {{6, T::Float32, true}, 1.5},      {{8, T::Float32, false}, -1.5},
        {{12, T::Float32, true}, {}},       {{16, T::Float32, true}, {}},      {{16, T::Int32, true}, 2143289344},
        {{19, T::Uint8, true}, 0},          {{19, T::Uint16, true}, {}},       {{17, T::Int32, false}, {}},
        {{20, T::Uint8, true}, {}},         {{kHuge, T::Uint8, true}, {}},     {{kHuge - 1, T::Int32, true}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(BinaryTypeName(c.field.type)) + " at " + std::to_string(c.field.offset));
        EXPECT_EQ(ReadBinaryField(frame, sizeof frame, c.field), c.value);
    }
    EXPECT_STREQ(BinaryTypeName(T::Float32), "float32");
    EXPECT_STREQ(BinaryTypeName(T::Uint32), "uint32");
}

TEST(PlotStore, DropsTheOldestSamplesToStayWithinItsPoints)
{
    PlotStore store(10);
    for (int i = 0; i < 10; ++i) {
        store.Add(Sample(i, {1, 2, 3}));
    }
    EXPECT_EQ(store.Points(), 9U);
    EXPECT_EQ(store[0].seconds, 7);
    store.Add(Sample(10, {4}));
    EXPECT_EQ(store.Points(), 10U);
    store.Add(Sample(11, {5, 6}));
    EXPECT_EQ(store.Points(), 9U);
    EXPECT_EQ(store[0].seconds, 8);
    for (int i = 0; i < 100; ++i) {
        store.Add(Sample(20 + i, {1}));
        store.Add(Sample(20 + i, {}));
    }
    EXPECT_EQ(store.Size(), 10U);
    EXPECT_EQ(store.LatestSeconds(), 119);
}

TEST(PlotStore, FindsTimeRangesAndTheirValuesWithTimesThatNeverGoBack)
{
    PlotStore store;
    for (const PlotSample& sample : {Sample(0, {5}), Sample(1, {-2, 8}), Sample(1, {3}), Sample(2, {4}),
                                     Sample(1.5, {9}), Sample(5, {0})}) {
        store.Add(sample);
    }
    EXPECT_EQ(store[4].seconds, 2);
    using Indexes = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(store.Range(1, 2), Indexes(1, 5));
    EXPECT_EQ(store.Range(3, 4), Indexes(5, 5));
    EXPECT_EQ(store.Range(4, 1), Indexes(5, 5));
    EXPECT_EQ(store.Range(-1, 99), Indexes(0, 6));
    EXPECT_EQ(store.ValueRange(1, 1), std::make_optional(std::pair(-2.0, 8.0)));
    EXPECT_EQ(store.ValueRange(2, 9), std::make_optional(std::pair(0.0, 9.0)));
    EXPECT_EQ(store.ValueRange(3, 4), std::nullopt);
}

TEST(PlotStore, CsvReadsBackToTheSameValues)
{
    const std::vector<double> tricky = {0.1, 1.0 / 3, -1e-300, 1.7976931348623157e308, 5e-324, -0.0};
    PlotStore store;
    store.Add(Sample(12.3456, tricky));
    store.Add(Sample(13, {2}));
    const std::string csv = store.Csv({"a,b", "T"});
    const std::string head = "time,\"a,b\",T,3,4,5,6\r\n12.346,";
    ASSERT_EQ(csv.substr(0, head.size()), head);
    const std::string tail = "\r\n13.000,2,,,,,\r\n";
    EXPECT_EQ(csv.substr(csv.size() - tail.size()), tail);
    const char* next = csv.data() + head.size();
    for (const double expected : tricky) {
        double value = 0;
        const auto [end, error] = std::from_chars(next, csv.data() + csv.size(), value);
        ASSERT_EQ(error, std::errc());
        EXPECT_EQ(std::signbit(value), std::signbit(expected));
        EXPECT_EQ(value, expected);
        next = end + 1;
    }
}
