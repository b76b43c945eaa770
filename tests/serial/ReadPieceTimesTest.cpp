#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "serial/ReadPieceTimes.h"

namespace {

ReadTime At(int millisecond)
{
    const std::chrono::milliseconds offset(millisecond);
    return {std::chrono::steady_clock::time_point(offset), std::chrono::system_clock::time_point(offset)};
}

// Sizes and times (in milliseconds) of the pieces taken.
std::vector<std::pair<std::size_t, long long>> Taken(ReadPieceTimes& times, std::size_t size)
{
    std::vector<ReceivedPiece> pieces;
    times.Take(size, &pieces);
    std::vector<std::pair<std::size_t, long long>> result;
    for (const ReceivedPiece& piece : pieces) {
        const auto since = piece.readAt.monotonic.time_since_epoch();
        result.emplace_back(piece.size, std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
    return result;
}

using Pieces = std::vector<std::pair<std::size_t, long long>>;

TEST(ReadPieceTimes, TakesSplitAndJoinPiecesWithTheTimeEachWasRead)
{
    ReadPieceTimes times;
    times.Read(3, At(10));
    times.Read(5, At(40));
    times.Read(0, At(50));
    EXPECT_EQ(Taken(times, 2), (Pieces{{2, 10}}));
    EXPECT_EQ(Taken(times, 4), (Pieces{{1, 10}, {3, 40}}));
    times.Take(1, nullptr);
    EXPECT_EQ(Taken(times, 100), (Pieces{{1, 40}})) << "never more than was read";
    EXPECT_EQ(Taken(times, 1), Pieces{});

    times.Read(4, At(60));
    times.Discard();
    times.Read(2, At(70));
    EXPECT_EQ(Taken(times, 4), (Pieces{{2, 70}})) << "a discard drops the pieces read before it";
    times.Read(2, At(80));
    times.Reset();
    times.Read(1, At(90));
    EXPECT_EQ(Taken(times, 4), (Pieces{{1, 90}}));
}

TEST(ReadPieceTimes, PiecesBeyondTheLimitJoinTheLastOne)
{
    ReadPieceTimes times;
    const int extra = 10;
    for (int piece = 0; piece < static_cast<int>(ReadPieceTimes::kMaxPieces) + extra; ++piece) {
        times.Read(1, At(piece));
    }
    const Pieces taken = Taken(times, ReadPieceTimes::kMaxPieces + extra);
    ASSERT_EQ(taken.size(), ReadPieceTimes::kMaxPieces);
    EXPECT_EQ(taken.back(), (std::pair<std::size_t, long long>{1 + extra, ReadPieceTimes::kMaxPieces - 1}));
    times.Read(1, At(5000));
    EXPECT_EQ(Taken(times, 1), (Pieces{{1, 5000}})) << "room again once taken";
}

}  // namespace
