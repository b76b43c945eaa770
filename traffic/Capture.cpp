#include "traffic/Capture.h"

std::string Capture::Start(const std::string& path, CaptureOpen mode, const DisplayOptions& options)
{
    Stop();
    const std::string failure = writer_.Open(path, mode);
    if (!failure.empty()) {
        return failure;
    }
    path_ = path;
    format_ = options.captureFormat;
    log_ = FrameText(std::chrono::milliseconds(options.frameGapMs), true, options.codec);
    SetOptions(options);
    return "";
}

void Capture::SetOptions(const DisplayOptions& options)
{
    includeSent_ = options.showSent;
    log_.SetGap(std::chrono::milliseconds(options.frameGapMs));
}

void Capture::Received(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    if (!writer_.IsOpen() || count == 0) {
        return;
    }
    if (format_ == CaptureFormat::Raw) {
        writer_.Write(std::string_view(reinterpret_cast<const char*>(bytes), count));
        return;
    }
    lines_.clear();
    log_.AppendReceived(lines_, bytes, count, true, time);
    writer_.Write(lines_);
}

void Capture::Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    if (!writer_.IsOpen() || !includeSent_ || format_ != CaptureFormat::Log) {
        return;
    }
    lines_.clear();
    log_.AppendSent(lines_, bytes, count, true, time);
    writer_.Write(lines_);
}

std::optional<CaptureFailure> Capture::Stop()
{
    if (!writer_.IsOpen()) {
        return std::nullopt;
    }
    if (format_ == CaptureFormat::Log) {
        lines_.clear();
        log_.EndLine(lines_);
        writer_.Write(lines_);
    }
    lines_ = std::string();
    return writer_.Close();
}
