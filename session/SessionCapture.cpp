#include "session/SessionCapture.h"

#include <optional>
#include <utility>

SessionCapture::SessionCapture(SessionLoop& loop, std::function<void()> changed,
                               std::function<void(const SessionMessage&)> report)
    : changed_(std::move(changed)),
      report_(std::move(report)),
      progress_(loop.MakeTimer([this] { CheckProgress(); }, false))
{
}

void SessionCapture::SetOptions(const DisplayOptions& options)
{
    options_ = options;
    capture_.SetOptions(options);
}

void SessionCapture::Received(const unsigned char* bytes, std::size_t count, const ReadTime& time)
{
    capture_.Received(bytes, count, time);
}

void SessionCapture::Sent(const unsigned char* bytes, std::size_t count, const ReadTime& time, bool passedOn)
{
    capture_.Sent(bytes, count, time, passedOn);
}

void SessionCapture::Start(const std::string& path, CaptureOpen mode)
{
    unattendedPath_.clear();
    Begin(path, mode);
}

void SessionCapture::StartWhenPortOpens(const std::string& path, bool portOpen)
{
    startOnOpen_ = path;
    unattendedPath_ = path;
    if (portOpen) {
        PortOpened();
    }
}

void SessionCapture::PortOpened()
{
    if (startOnOpen_.empty()) {
        return;
    }
    const std::string path = std::exchange(startOnOpen_, {});
    Begin(path, CaptureOpen::Append);
}

void SessionCapture::Begin(const std::string& path, CaptureOpen mode)
{
    const std::string failure = capture_.Start(path, mode, options_);
    Changed();
    if (!failure.empty()) {
        report_({SessionMessage::CaptureNotCreated, path, failure});
    }
}

bool SessionCapture::Stop()
{
    if (!capture_.IsActive()) {
        return true;
    }
    const std::optional<CaptureFailure> failure = capture_.Stop();
    Changed();
    if (failure) {
        report_({SessionMessage::CaptureEnded, capture_.Path(), {}, {}, *failure});
    }
    return !failure;
}

void SessionCapture::StopByUser()
{
    unattendedPath_.clear();
    Stop();
}

// A file that failed is not tried again at every reconnection.
void SessionCapture::PortLost()
{
    const bool unattended = capture_.IsActive() && !unattendedPath_.empty();
    if (Stop() && unattended) {
        startOnOpen_ = unattendedPath_;
    }
}

void SessionCapture::CheckProgress()
{
    if (capture_.Failure()) {
        Stop();
        return;
    }
    changed_();
}

void SessionCapture::Changed()
{
    if (capture_.IsActive()) {
        progress_->Start(kProgressInterval);
    } else {
        progress_->Stop();
    }
    changed_();
}
