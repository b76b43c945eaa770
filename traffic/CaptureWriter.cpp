#include "traffic/CaptureWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The writer thread is woken early once this much waits, so the queue drains in large writes
// long before it is full.
constexpr std::size_t kWakeSize = 256 * 1024;
// Encoded bytes are written in pieces of about this size, so their buffer stays small however
// far the queue fell behind.
constexpr std::size_t kEncodedPiece = 256 * 1024;

int OpenFlags(CaptureOpen mode)
{
    // Not blocking: a named pipe without a reader must not hold the caller; it is refused below.
    const int common = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    switch (mode) {
    case CaptureOpen::CreateNew:
        return common | O_EXCL;
    case CaptureOpen::Truncate:
        return common | O_TRUNC;
    case CaptureOpen::Append:
        break;
    }
    return common | O_APPEND;
}

}  // namespace

CaptureWriter::~CaptureWriter()
{
    Close();
}

std::string CaptureWriter::Open(const std::string& path, CaptureOpen mode, Encoder encoder)
{
    Close();
    const int fd = ::open(path.c_str(), OpenFlags(mode), 0666);
    if (fd < 0) {
        return std::strerror(errno);
    }
    struct stat status {};
    const int error = ::fstat(fd, &status) != 0 ? errno : S_ISREG(status.st_mode) ? 0 : EINVAL;
    if (error != 0) {
        ::close(fd);
        return std::strerror(error);
    }
    fd_ = fd;
    path_ = path;
    encoder_ = std::move(encoder);
    device_ = status.st_dev;
    inode_ = status.st_ino;
    fileSize_ = static_cast<std::uint64_t>(status.st_size);
    failure_.reset();
    stopping_ = false;
    wakeRequested_ = false;
    thread_ = std::thread(&CaptureWriter::Run, this);
    return "";
}

bool CaptureWriter::Write(std::string_view head, std::string_view tail)
{
    if (fd_ < 0) {
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
    if (fd_ < 0) {
        return std::nullopt;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    thread_.join();
    if (::close(fd_) != 0 && !failure_) {
        failure_ = CaptureFailure{CaptureFailure::WriteFailed, errno};
    }
    fd_ = -1;
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
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return CaptureFailure{CaptureFailure::WriteFailed, errno};
        }
        done += static_cast<std::size_t>(written);
        fileSize_ += static_cast<std::uint64_t>(written);
    }
    if (!FileStillThere()) {
        return CaptureFailure{CaptureFailure::FileGone, 0};
    }
    return std::nullopt;
}

// Writes to a file whose folder was removed succeed and go nowhere: the path tells.
bool CaptureWriter::FileStillThere() const
{
    struct stat status {};
    return ::stat(path_.c_str(), &status) == 0 && status.st_dev == device_ && status.st_ino == inode_;
}
