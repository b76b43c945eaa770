#include "session/FileSend.h"

#include <algorithm>

FileSend::FileSend(SessionLoop& loop, std::FILE* file, std::uint64_t size, const FileSendOptions& options, Port port)
    : file_(file),
      size_(size),
      options_(options),
      port_(std::move(port)),
      look_(loop.MakeTimer([this] { Look(); }, false)),
      packetDelay_(loop.MakeTimer([] {}, true))
{
    look_->Start(kLookInterval);
    Look();
}

FileSend::~FileSend()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

// The file is sent once the device has taken its last byte.
void FileSend::Look()
{
    if (ended_) {
        return;
    }
    if (written_ >= size_) {
        if (port_.waitingBytes() == 0) {
            End(Outcome::Sent);
        }
        return;
    }
    if (options_.packetSize > 0) {
        if (port_.waitingBytes() > 0 || packetDelay_->IsActive()) {
            return;
        }
        if (WriteFromFile(static_cast<std::size_t>(options_.packetSize)) && options_.packetDelayMs > 0) {
            packetDelay_->Start(std::chrono::milliseconds(options_.packetDelayMs));
        }
        return;
    }
    while (written_ < size_ && port_.waitingBytes() < kRefillBelow) {
        if (!WriteFromFile(kReadSize)) {
            return;
        }
    }
}

bool FileSend::WriteFromFile(std::size_t count)
{
    const std::uint64_t left = size_ - std::min(size_, written_);
    std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(count, left)), '\0');
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file_);
    bytes.resize(read);
    if (!bytes.empty()) {
        written_ += bytes.size();
        port_.write(bytes);
    }
    if (read < static_cast<std::size_t>(std::min<std::uint64_t>(count, left))) {
        End(std::ferror(file_) != 0 ? Outcome::ReadFailed : Outcome::Shrank);
        return false;
    }
    return true;
}

void FileSend::End(Outcome outcome)
{
    if (ended_) {
        return;
    }
    ended_ = true;
    look_->Stop();
    packetDelay_->Stop();
    port_.ended(outcome);
}
