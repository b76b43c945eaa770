#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "traffic/Clock.h"
#include "traffic/FrameSplitter.h"

// One frame of a timeline: bytes of one port in one direction, from its first bytes' time on.
struct TimelineFrame {
    std::uint64_t serial = 0;  // in the order frames were begun; finds a growing frame again
    ReadTime time;             // when its first bytes were read or written
    int port = 0;              // COMn
    bool sent = false;
    std::string bytes;
};

// The frames of several ports in the order they happened (by the monotonic time of their first
// bytes). It holds at most kMaxFrames frames and kMaxBytes of their bytes, dropping the oldest
// first; a frame that reaches kMaxFrameBytes goes on in a new one.
class Timeline {
public:
    static constexpr std::size_t kMaxFrames = 100000;
    static constexpr std::size_t kMaxBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kMaxFrameBytes = 4096;

    // One port's traffic into a timeline. Received bytes go on the port's open frame unless they
    // follow a silence of at least the gap, or a sent frame; every send is a frame of its own.
    class Feed {
    public:
        explicit Feed(Timeline& timeline) : timeline_(timeline) {}

        void Received(int port, const unsigned char* bytes, std::size_t count, const ReadTime& time,
                      std::chrono::milliseconds gap);
        void Sent(int port, const unsigned char* bytes, std::size_t count, const ReadTime& time);

    private:
        Timeline& timeline_;
        FrameSplitter splitter_{std::chrono::milliseconds(20)};
        std::optional<std::uint64_t> openFrame_;
        int openPort_ = 0;
    };

    const std::deque<TimelineFrame>& Frames() const { return frames_; }
    // The frame `serial` that began at `time`; null once it is gone.
    const TimelineFrame* Locate(std::chrono::steady_clock::time_point time, std::uint64_t serial) const;
    void Clear();
    // Changes with every change of the frames.
    std::uint64_t Version() const { return version_; }

private:
    // A new frame of `count` bytes (at most kMaxFrameBytes), in its place by time; its serial.
    std::uint64_t Begin(int port, bool sent, const unsigned char* bytes, std::size_t count, const ReadTime& time);
    TimelineFrame* Find(std::uint64_t serial);
    // The bytes frame `serial` may still take; 0 when it is full or gone.
    std::size_t Room(std::uint64_t serial);
    void Grow(std::uint64_t serial, const unsigned char* bytes, std::size_t count);
    void DropOldest();

    std::deque<TimelineFrame> frames_;
    std::size_t bytes_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t version_ = 0;
};

// A frame as the timeline window and its exports show it, in GBK: the time "HH:MM:SS.mmm", the
// milliseconds since `previous` began ("" without one), "COMn", "收" or "发", the bytes in hex
// ("01 03 FF") and as text (each byte as itself, control bytes as '.').
struct TimelineRowText {
    std::string time;
    std::string sincePrevious;
    std::string port;
    std::string direction;
    std::string hex;
    std::string text;
};
TimelineRowText RowText(const TimelineFrame& frame, const TimelineFrame* previous);

// The rows as a CSV file (GBK, CR LF lines, a header line first); a field with a comma, a quote
// or a line break is quoted.
std::string TimelineCsv(const std::vector<const TimelineFrame*>& rows);
