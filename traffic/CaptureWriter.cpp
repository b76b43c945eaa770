#include "traffic/CaptureWriter.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// The writer thread is woken early once this much waits, so the queue drains in large writes
// long before it is full.
constexpr std::size_t kWakeSize = 256 * 1024;
// Encoded bytes are written in pieces of about this size, so their buffer stays small however
// far the queue fell behind.
constexpr std::size_t kEncodedPiece = 256 * 1024;

}  // namespace

CaptureWriter::~CaptureWriter()
{
    Close();
}

std::string CaptureWriter::Open(const std::string& path, CaptureOpen mode, Encoder encoder)
{
    Close();
    std::uint64_t size = 0;
    if (const int error = file_.Open(path, mode, size)) {
        return std::strerror(error);
    }
    encoder_ = std::move(encoder);
    fileSize_ = size;
    failure_.reset();
    stopping_ = false;
    wakeRequested_ = false;
    thread_ = std::thread(&CaptureWriter::Run, this);
    return "";
}

bool CaptureWriter::Write(std::string_view head, std::string_view tail)
{
    if (!file_.IsOpen()) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (failure_) {
        return false;
    }
    if (pending_.size() + head.size() + tail.size() > queueLimit_) {
        failure_ = CaptureFailure{CaptureFailure::TooSlow, 0};
        wake_.notify_one();
        return false;
    }
    pending_.append(head);
    pending_.append(tail);
    if (pending_.size() >= kWakeSize && !wakeRequested_) {
        wakeRequested_ = true;
        wake_.notify_one();
    }
    return true;
}

std::optional<CaptureFailure> CaptureWriter::Close()
{
    if (!file_.IsOpen()) {
        return std::nullopt;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    thread_.join();
    if (const int error = file_.Close(); error != 0 && !failure_) {
        failure_ = CaptureFailure{CaptureFailure::WriteFailed, error};
    }
    pending_ = std::string();
    encoder_ = {};
    return failure_;
}

std::optional<CaptureFailure> CaptureWriter::Failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

void CaptureWriter::Run()
{
    std::string batch;
    std::string encoded;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kFlushPeriod, [this] { return stopping_ || wakeRequested_ || failure_.has_value(); });
        wakeRequested_ = false;
        if (pending_.empty() && (stopping_ || failure_)) {
            return;
        }
        batch.swap(pending_);
        lock.unlock();
        const std::optional<CaptureFailure> failure = WriteBatch(batch, encoded);
        batch.clear();
        lock.lock();
        if (failure) {
            if (!failure_) {
                failure_ = failure;
            }
            pending_ = std::string();
            return;
        }
    }
}

std::optional<CaptureFailure> CaptureWriter::WriteBatch(const std::string& batch, std::string& encoded)
{
    if (!encoder_) {
        return WriteOut(batch);
    }
    for (std::string_view rest = batch; !rest.empty();) {
        encoded.clear();
        rest.remove_prefix(encoder_(rest, encoded, kEncodedPiece));
        if (std::optional<CaptureFailure> failure = WriteOut(encoded)) {
            return failure;
        }
    }
    return std::nullopt;
}

std::optional<CaptureFailure> CaptureWriter::WriteOut(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long written = file_.Write(bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            return CaptureFailure{CaptureFailure::WriteFailed, errno};
        }
        done += static_cast<std::size_t>(written);
        fileSize_ += static_cast<std::uint64_t>(written);
    }
    if (!file_.StillThere()) {
        return CaptureFailure{CaptureFailure::FileGone, 0};
    }
    return std::nullopt;
}
