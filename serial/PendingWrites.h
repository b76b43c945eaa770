#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// Output the device has not taken yet, kept in order. Each write keeps its own time-out,
// which starts when its first byte is offered to the device; what is not written when it
// runs out is dropped. The queue holds at most `capacity` bytes: a write that does not fit
// is dropped whole (a cut message would be worse than a missing one). Dropped bytes are
// counted. Not thread-safe.
class PendingWrites {
public:
    using Clock = std::chrono::steady_clock;
    // Takes bytes from the front and returns how many the device took: 0 when it is full,
    // -1 when it failed.
    using WriteFunction = std::function<long(const unsigned char*, std::size_t)>;

    static constexpr std::size_t kDefaultCapacity = 4 * 1024 * 1024;

    explicit PendingWrites(std::size_t capacity = kDefaultCapacity);

    // Queues the rest of a write whose time-out is `timeout` (zero: none). `started` says
    // the device already took the write's first bytes at `now`, which starts the time-out.
    // False when the bytes were dropped for want of room.
    bool Push(const unsigned char* bytes, std::size_t count, std::chrono::milliseconds timeout, bool started,
              Clock::time_point now);

    // Offers the queued bytes to the device in order until it takes less than offered; drops
    // writes whose time-out ran out first. A failing device drops everything.
    void Drain(const WriteFunction& write, Clock::time_point now);

    // Drops writes whose time-out has run out.
    void DropOverdue(Clock::time_point now);

    // Time until the front write's time-out runs out; none when no time-out is running.
    std::optional<Clock::duration> TimeToDeadline(Clock::time_point now) const;

    void Clear();
    bool Empty() const;
    std::size_t Bytes() const;
    std::uint64_t DroppedBytes() const;

private:
    struct Chunk {
        std::vector<unsigned char> bytes;
        std::size_t offset = 0;
        std::chrono::milliseconds timeout{0};
        std::optional<Clock::time_point> deadline;
    };

    void StartFront(Clock::time_point now);
    void DropFront();

    std::size_t capacity_;
    std::deque<Chunk> chunks_;
    std::size_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
};
