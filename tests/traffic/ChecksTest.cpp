#include <gtest/gtest.h>

#include "traffic/Checks.h"

namespace {

const std::string kCheckInput = "123456789";

const unsigned char* Bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

// Every check of the catalogue gives its published value over "123456789", and goes on the line
// in its stated order.
TEST(CheckCatalogue, EveryCheckGivesItsPublishedValueAndItsBytesInLineOrder)
{
    ASSERT_EQ(CheckCatalogue().size(), 12u);
    for (const CheckDefinition& check : CheckCatalogue()) {
        SCOPED_TRACE(check.name);
        EXPECT_EQ(CheckValue(check, Bytes(kCheckInput), kCheckInput.size()), check.check);
        const std::vector<unsigned char> line = CheckBytes(check, Bytes(kCheckInput), kCheckInput.size());
        ASSERT_EQ(line.size(), static_cast<std::size_t>(check.width / 8));
        std::uint32_t fromLine = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const std::size_t significance = check.LowByteFirst() ? i : line.size() - 1 - i;
            fromLine |= static_cast<std::uint32_t>(line[i]) << (8 * significance);
        }
        EXPECT_EQ(fromLine, check.check);
    }
}

TEST(CheckCatalogue, AppendingFollowsTheHexAndTextRulesOfTheCrc16Command)
{
    const CheckDefinition& crc32 = CheckCatalogue()[6];
    const CheckDefinition& sum8 = CheckCatalogue()[8];
    auto with = [](const CheckDefinition& check) {
        return [&check](const unsigned char* bytes, std::size_t count) { return CheckBytes(check, bytes, count); };
    };
    // Hex: " %02X" per byte, low byte first for CRC-32.
    EXPECT_EQ(AppendCheck("31 32 33 34 35 36 37 38 39", true, with(crc32)).text, "31 32 33 34 35 36 37 38 39 26 39 F4 CB");
    // Text: a printable check byte is appended as it is; one that cannot stand in the text is reported.
    EXPECT_EQ(AppendCheck("!", false, with(sum8)).text, "!!");
    const CheckAppendResult control = AppendCheck("AB", false, with(sum8));
    EXPECT_EQ(control.status, CheckAppendResult::NotRepresentable);
    EXPECT_EQ(control.check, std::vector<unsigned char>{0x83});
    EXPECT_EQ(control.text, "AB");
    EXPECT_EQ(AppendCheck("", false, with(sum8)).status, CheckAppendResult::EmptyText);
}
