#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "traffic/CaptureWriter.h"
#include "traffic/Clock.h"
#include "traffic/DisplayOptions.h"

// Recording of the port's traffic to a file, independent of the receive area. Raw: the received
// bytes exactly. Log: the frames of the view in hex, each with its time stamp, received and
// (with "显示发送") sent, as CR LF lines in the encoding of the view when the capture started;
// the lines are made on the writer's thread.
class Capture {
public:
    // Starts recording into `path`; returns "" or the system's reason why it cannot be opened.
    std::string Start(const std::string& path, CaptureOpen mode, const DisplayOptions& options);
    // Sent frames and the frame gap follow the options from now on; format and encoding stay.
    void SetOptions(const DisplayOptions& options);

    void Received(const unsigned char* bytes, std::size_t count, const ReadTime& time);
    // `passedOn`: bytes a monitored port passed on, which go on one frame while they come
    // within the gap.
    void Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time, bool passedOn = false);
    // A line of the system's (GBK) about the frame before it, in a log on a line of its own.
    void Note(std::string_view note);

    // Ends the recording: what is queued goes to the file, which is closed. Returns the failure
    // that ended it early, if any.
    std::optional<CaptureFailure> Stop();

    bool IsActive() const { return writer_.IsOpen(); }
    const std::string& Path() const { return path_; }
    std::uint64_t FileSize() const { return writer_.FileSize(); }
    std::optional<CaptureFailure> Failure() const { return writer_.Failure(); }

private:
    CaptureWriter writer_;
    std::string path_;
    CaptureFormat format_ = CaptureFormat::Raw;
    bool includeSent_ = false;
    int gapMs_ = DisplayOptions::kDefaultFrameGap;
};
