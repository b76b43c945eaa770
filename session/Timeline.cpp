#include "session/Timeline.h"

#include <algorithm>
#include <cstdio>

#include "platform/CodePage.h"
#include "traffic/Codec.h"

void Timeline::Feed::Received(int port, const unsigned char* bytes, std::size_t count, const ReadTime& time,
                              std::chrono::milliseconds gap)
{
    splitter_.SetGap(gap);
    if (splitter_.Receive(time.monotonic) || port != openPort_) {
        openFrame_.reset();
    }
    openPort_ = port;
    while (count > 0) {
        std::size_t piece = openFrame_ ? std::min(count, timeline_.Room(*openFrame_)) : 0;
        if (piece > 0) {
            timeline_.Grow(*openFrame_, bytes, piece);
        } else {
            piece = std::min(count, kMaxFrameBytes);
            openFrame_ = timeline_.Begin(port, false, bytes, piece, time);
        }
        bytes += piece;
        count -= piece;
    }
}

void Timeline::Feed::Sent(int port, const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    splitter_.Sent();
    openFrame_.reset();
    for (std::size_t done = 0; done < count || done == 0; done += kMaxFrameBytes) {
        timeline_.Begin(port, true, bytes + done, std::min(count - done, kMaxFrameBytes), time);
    }
}

void Timeline::Clear()
{
    frames_.clear();
    bytes_ = 0;
    ++version_;
}

std::uint64_t Timeline::Begin(int port, bool sent, const unsigned char* bytes, std::size_t count,
                              const ReadTime& time)
{
    // Frames come nearly in order: the place is found from the end.
    auto place = frames_.end();
    while (place != frames_.begin() && std::prev(place)->time.monotonic > time.monotonic) {
        --place;
    }
    const std::uint64_t serial = nextSerial_++;
    frames_.insert(place, TimelineFrame{serial, time, port, sent, std::string(bytes, bytes + count)});
    bytes_ += count;
    ++version_;
    DropOldest();
    return serial;
}

TimelineFrame* Timeline::Find(std::uint64_t serial)
{
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame) {
        if (frame->serial == serial) {
            return &*frame;
        }
    }
    return nullptr;
}

std::size_t Timeline::Room(std::uint64_t serial)
{
    const TimelineFrame* frame = Find(serial);
    return frame == nullptr ? 0 : kMaxFrameBytes - std::min(kMaxFrameBytes, frame->bytes.size());
}

void Timeline::Grow(std::uint64_t serial, const unsigned char* bytes, std::size_t count)
{
    if (TimelineFrame* frame = Find(serial)) {
        frame->bytes.append(bytes, bytes + count);
        bytes_ += count;
        ++version_;
        DropOldest();
    }
}

void Timeline::DropOldest()
{
    while (frames_.size() > kMaxFrames || bytes_ > kMaxBytes) {
        bytes_ -= frames_.front().bytes.size();
        frames_.pop_front();
    }
}

const TimelineFrame* Timeline::Locate(std::chrono::steady_clock::time_point time, std::uint64_t serial) const
{
    auto frame = std::lower_bound(frames_.begin(), frames_.end(), time,
                                  [](const TimelineFrame& f, auto t) { return f.time.monotonic < t; });
    for (; frame != frames_.end() && frame->time.monotonic == time; ++frame) {
        if (frame->serial == serial) {
            return &*frame;
        }
    }
    return nullptr;
}

namespace {

std::string TextOf(const std::string& bytes)
{
    std::string text = bytes;
    for (char& byte : text) {
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F) {
            byte = '.';
        }
    }
    return text;
}

std::string CsvField(const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

TimelineRowText RowText(const TimelineFrame& frame, const TimelineFrame* previous)
{
    TimelineRowText row;
    row.time = FormatTimeOfDay(frame.time.wall);
    if (previous != nullptr) {
        const std::chrono::duration<double, std::milli> since = frame.time.monotonic - previous->time.monotonic;
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", since.count());
        row.sincePrevious = text;
    }
    row.port = "COM" + std::to_string(frame.port);
    row.direction = Utf8ToGbk(frame.sent ? "发" : "收");
    // " 01 03" without its first space.
    row.hex = BytesToHex(reinterpret_cast<const unsigned char*>(frame.bytes.data()), frame.bytes.size());
    row.hex.erase(0, 1);
    row.text = TextOf(frame.bytes);
    return row;
}

std::string TimelineCsv(const std::vector<const TimelineFrame*>& rows)
{
    std::string csv = Utf8ToGbk("时间,间隔(毫秒),端口,方向,HEX,文本\r\n");
    const TimelineFrame* previous = nullptr;
    for (const TimelineFrame* frame : rows) {
        const TimelineRowText row = RowText(*frame, previous);
        for (const std::string* field : {&row.time, &row.sincePrevious, &row.port, &row.direction, &row.hex}) {
            csv += CsvField(*field) + ",";
        }
        csv += CsvField(row.text) + "\r\n";
        previous = frame;
    }
    return csv;
}
