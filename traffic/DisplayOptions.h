#pragma once

#include <optional>
#include <string_view>

#include "traffic/TextDecoder.h"

// What a capture file holds: the received bytes exactly, or the frames of the view in hex with
// their time stamps.
enum class CaptureFormat { Raw, Log };

// "raw" and "log", the names kept in the settings file; anything else gives nothing.
std::optional<CaptureFormat> ParseCaptureFormat(std::string_view name);
const char* CaptureFormatName(CaptureFormat format);

// The protocol-view options of the receive area and of captures. All off by default, which
// shows received data as one stream, as it always was.
struct DisplayOptions {
    static constexpr int kDefaultFrameGap = 20;
    static constexpr int kMinFrameGap = 1;
    static constexpr int kMaxFrameGap = 60000;

    bool timeStamps = false;              // frames split by silence, each with its time
    int frameGapMs = kDefaultFrameGap;    // the silence that begins a new frame
    bool showSent = false;                // sent bytes appear as frames of their own
    TextCodec codec = TextCodec::Gbk;     // how the text view reads bytes
    CaptureFormat captureFormat = CaptureFormat::Raw;
    // Every frame is described on the line after it as Modbus RTU; at the default gap, frames
    // end after 3.5 character times of silence instead.
    bool modbusDecode = false;

    static bool IsValidFrameGap(long long milliseconds)
    {
        return milliseconds >= kMinFrameGap && milliseconds <= kMaxFrameGap;
    }
};
