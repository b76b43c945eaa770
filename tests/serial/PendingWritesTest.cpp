#include <gtest/gtest.h>

#include <string>

#include "serial/PendingWrites.h"

namespace {

using std::chrono::milliseconds;
using Clock = PendingWrites::Clock;

// A device that takes at most `room` bytes per offer.
struct FakeDevice {
    std::string taken;
    std::size_t room = 0;
    bool failing = false;

    PendingWrites::WriteFunction Writer()
    {
        return [this](const unsigned char* bytes, std::size_t count) -> long {
            if (failing) {
                return -1;
            }
            const std::size_t now = std::min(count, room);
            taken.append(reinterpret_cast<const char*>(bytes), now);
            room -= now;
            return static_cast<long>(now);
        };
    }
};

bool Push(PendingWrites& queue, const std::string& bytes, milliseconds timeout, Clock::time_point now, bool started = false)
{
    return queue.Push(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), timeout, started, now);
}

TEST(PendingWrites, DrainsInOrderAsTheDeviceMakesRoom)
{
    PendingWrites queue;
    FakeDevice device;
    const Clock::time_point start{};
    Push(queue, "abc", milliseconds(0), start);
    Push(queue, "defgh", milliseconds(0), start);
    device.room = 4;
    queue.Drain(device.Writer(), start);
    EXPECT_EQ(device.taken, "abcd");
    EXPECT_EQ(queue.Bytes(), 4u);
    device.room = 100;
    queue.Drain(device.Writer(), start + std::chrono::hours(1));  // no time-out: never dropped
    EXPECT_EQ(device.taken, "abcdefgh");
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.DroppedBytes(), 0u);
}

TEST(PendingWrites, EachWritesTimeOutStartsWhenItReachesTheDevice)
{
    PendingWrites queue;
    FakeDevice device;
    const Clock::time_point start{};
    Push(queue, "first", milliseconds(100), start, true);
    Push(queue, "second", milliseconds(100), start);
    EXPECT_EQ(queue.TimeToDeadline(start + milliseconds(40)), milliseconds(60));

    queue.DropOverdue(start + milliseconds(100));  // the first ran out; the second starts now
    EXPECT_EQ(queue.DroppedBytes(), 5u);
    EXPECT_EQ(queue.TimeToDeadline(start + milliseconds(150)), milliseconds(50));
    device.room = 100;
    queue.Drain(device.Writer(), start + milliseconds(199));
    EXPECT_EQ(device.taken, "second");
}

TEST(PendingWrites, AWriteThatDoesNotFitIsDroppedWhole)
{
    PendingWrites queue(10);
    const Clock::time_point start{};
    EXPECT_TRUE(Push(queue, "1234567", milliseconds(0), start));
    EXPECT_FALSE(Push(queue, "abcd", milliseconds(0), start));
    EXPECT_TRUE(Push(queue, "xyz", milliseconds(0), start));
    EXPECT_EQ(queue.Bytes(), 10u);
    EXPECT_EQ(queue.DroppedBytes(), 4u);
}

TEST(PendingWrites, AFailingDeviceDropsEverything)
{
    PendingWrites queue;
    FakeDevice device;
    device.failing = true;
    Push(queue, "abc", milliseconds(0), Clock::time_point{});
    Push(queue, "de", milliseconds(0), Clock::time_point{});
    queue.Drain(device.Writer(), Clock::time_point{});
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.DroppedBytes(), 5u);
}

}  // namespace
