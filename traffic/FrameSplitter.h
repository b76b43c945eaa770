#pragma once

#include <chrono>
#include <optional>

// Decides where frames of received bytes begin: the first bytes, bytes that follow a silence of
// at least the gap since the bytes before them, and bytes that follow a sent frame. Times are
// the moments the bytes were read from the device.
class FrameSplitter {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit FrameSplitter(std::chrono::milliseconds gap) : gap_(gap) {}

    void SetGap(std::chrono::milliseconds gap) { gap_ = gap; }

    // Received bytes read at `time`; returns whether they begin a new frame.
    bool Receive(TimePoint time);
    // A sent frame came between received bytes: the next ones begin a new frame.
    void Sent() { afterSent_ = true; }

private:
    std::chrono::milliseconds gap_;
    std::optional<TimePoint> lastReceive_;
    bool afterSent_ = false;
};
