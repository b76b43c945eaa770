#include "traffic/SharedBuffer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using ::testing::ElementsAre;

TEST(CSharedBuffer, AppendsInOrderAndIgnoresEmptyInput)
{
    CSharedBuffer buffer;
    const unsigned char first[] = {1, 2};
    const unsigned char second[] = {3};
    buffer.Append(first, 2);
    buffer.Append(nullptr, 5);
    buffer.Append(second, 0);
    buffer.Append(second, -1);
    buffer.Append(second, 1);
    ASSERT_EQ(buffer.GetSize(), 3);
    unsigned char out[3];
    EXPECT_EQ(buffer.CopyTo(out, 3), 3);
    EXPECT_THAT(out, ElementsAre(1, 2, 3));
}

TEST(CSharedBuffer, CopyToZeroesTheDestinationAndLeavesTheBuffer)
{
    CSharedBuffer buffer;
    const unsigned char bytes[] = {7, 8};
    buffer.Append(bytes, 2);
    unsigned char out[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(buffer.CopyTo(out, 4), 2);
    EXPECT_THAT(out, ElementsAre(7, 8, 0, 0, 9));
    unsigned char shorter[1] = {0};
    EXPECT_EQ(buffer.CopyTo(shorter, 1), 1);
    EXPECT_EQ(shorter[0], 7);
    EXPECT_EQ(buffer.GetSize(), 2);
}

TEST(CSharedBuffer, ClearEmpties)
{
    CSharedBuffer buffer;
    const unsigned char bytes[] = {1};
    buffer.Append(bytes, 1);
    buffer.Clear();
    EXPECT_EQ(buffer.GetSize(), 0);
    unsigned char out[2] = {5, 5};
    EXPECT_EQ(buffer.CopyTo(out, 2), 0);
    EXPECT_THAT(out, ElementsAre(0, 0));
    buffer.Append(bytes, 1);
    EXPECT_EQ(buffer.GetSize(), 1);
}

TEST(CSharedBuffer, ConcurrentAppendsLoseNothing)
{
    CSharedBuffer buffer;
    constexpr int kThreads = 4;
    constexpr int kAppends = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&buffer, t] {
            const unsigned char bytes[3] = {static_cast<unsigned char>(t), static_cast<unsigned char>(t),
                                            static_cast<unsigned char>(t)};
            for (int i = 0; i < kAppends; ++i) {
                buffer.Append(bytes, 3);
            }
        });
    }
    std::vector<unsigned char> snapshot(kThreads * kAppends * 3);
    while (buffer.GetSize() < static_cast<int>(snapshot.size())) {
        buffer.CopyTo(snapshot.data(), static_cast<int>(snapshot.size()));
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    ASSERT_EQ(buffer.CopyTo(snapshot.data(), static_cast<int>(snapshot.size())), static_cast<int>(snapshot.size()));
    // Each append lands whole: the bytes come in runs of three equal values.
    for (std::size_t i = 0; i < snapshot.size(); i += 3) {
        EXPECT_EQ(snapshot[i], snapshot[i + 1]);
        EXPECT_EQ(snapshot[i], snapshot[i + 2]);
    }
}

TEST(CSimpleMutex, CloseReportsOnlyTheFirstTime)
{
    CSimpleMutex mutex;
    EXPECT_EQ(mutex.Close(), 1);
    EXPECT_EQ(mutex.Close(), 0);
}

} // namespace
