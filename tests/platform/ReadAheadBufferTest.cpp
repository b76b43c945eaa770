#include "platform/ReadAheadBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::string TakeAll(ReadAheadBuffer& buffer, std::size_t capacity = 1024)
{
    std::string taken(capacity, '\0');
    taken.resize(buffer.Take(reinterpret_cast<unsigned char*>(taken.data()), capacity));
    return taken;
}

void Fill(std::span<unsigned char> space, const std::string& bytes)
{
    ASSERT_GE(space.size(), bytes.size());
    std::memcpy(space.data(), bytes.data(), bytes.size());
}

TEST(ReadAheadBuffer, BytesWrapAroundTheEndOfTheRingInOrder)
{
    ReadAheadBuffer buffer(8);
    Fill(buffer.FreeSpace(0), "abcdef");
    buffer.Commit(6);
    EXPECT_EQ(TakeAll(buffer, 5), "abcde");
    EXPECT_EQ(buffer.Size(), 1u);
    EXPECT_EQ(buffer.Room(), 7u);

    // The free space ends at the ring's end; what is filled but not yet committed is skipped.
    ASSERT_EQ(buffer.FreeSpace(0).size(), 2u);
    Fill(buffer.FreeSpace(0), "gh");
    ASSERT_EQ(buffer.FreeSpace(2).size(), 5u);
    Fill(buffer.FreeSpace(2), "ijklm");
    buffer.Commit(7);
    EXPECT_EQ(buffer.Room(), 0u);
    EXPECT_TRUE(buffer.FreeSpace(0).empty());
    EXPECT_EQ(TakeAll(buffer, 3), "fgh");
    EXPECT_EQ(TakeAll(buffer), "ijklm");
    EXPECT_EQ(TakeAll(buffer), "");
}

TEST(ReadAheadBuffer, DiscardDropsWhatWasCommittedAndResetEmptiesIt)
{
    ReadAheadBuffer buffer(8);
    Fill(buffer.FreeSpace(0), "old");
    buffer.Commit(3);
    buffer.Discard();
    EXPECT_EQ(buffer.Size(), 0u);
    Fill(buffer.FreeSpace(0), "new");
    buffer.Commit(3);
    EXPECT_EQ(TakeAll(buffer), "new");
    Fill(buffer.FreeSpace(0), "xy");
    buffer.Commit(2);
    buffer.Reset();
    EXPECT_EQ(buffer.Size(), 0u);
    EXPECT_EQ(buffer.FreeSpace(0).size(), 8u);
}

// One thread fills while the other empties, each in pieces of changing sizes: every byte comes
// out once, in order.
TEST(ReadAheadBuffer, AFillingAndAnEmptyingThreadPassEveryByteInOrder)
{
    constexpr std::size_t kTotal = 256 * 1024;
    ReadAheadBuffer buffer(4096);
    auto byteAt = [](std::size_t index) { return static_cast<unsigned char>((index * 7 + index / 251) & 0xFF); };
    std::thread filler([&] {
        std::size_t sent = 0;
        for (std::size_t piece = 1; sent < kTotal; piece = piece % 1500 + 97) {
            const std::span<unsigned char> space = buffer.FreeSpace(0);
            const std::size_t count = std::min({space.size(), piece, kTotal - sent});
            for (std::size_t i = 0; i < count; ++i) {
                space[i] = byteAt(sent + i);
            }
            buffer.Commit(count);
            sent += count;
            if (count == 0) {
                std::this_thread::yield();
            }
        }
    });
    std::size_t received = 0;
    std::size_t wrong = 0;
    unsigned char chunk[1024];
    for (std::size_t capacity = 1; received < kTotal; capacity = capacity % 960 + 61) {
        const std::size_t count = buffer.Take(chunk, capacity);
        for (std::size_t i = 0; i < count; ++i) {
            wrong += chunk[i] != byteAt(received + i) ? 1 : 0;
        }
        received += count;
        if (count == 0) {
            std::this_thread::yield();
        }
    }
    filler.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(buffer.Size(), 0u);
}

}  // namespace
