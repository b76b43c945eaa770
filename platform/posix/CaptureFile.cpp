#include "platform/CaptureFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

CaptureFile::~CaptureFile() { Close(); }

int CaptureFile::Open(const std::string& path, CaptureOpen mode, std::uint64_t& size)
{
    Close();
    const int fd = ::open(path.c_str(), OpenFlags(mode), 0666);
    if (fd < 0) {
        return errno;
    }
    struct stat status {};
    const int error = ::fstat(fd, &status) != 0 ? errno : S_ISREG(status.st_mode) ? 0 : EINVAL;
    if (error != 0) {
        ::close(fd);
        return error;
    }
    handle_ = fd;
    path_ = path;
    volumeId_ = status.st_dev;
    fileId_ = status.st_ino;
    size = static_cast<std::uint64_t>(status.st_size);
    return 0;
}

bool CaptureFile::IsOpen() const { return handle_ >= 0; }

long CaptureFile::Write(const char* bytes, std::size_t count)
{
    ssize_t written = 0;
    do {
        written = ::write(static_cast<int>(handle_), bytes, count);
    } while (written < 0 && errno == EINTR);
    return static_cast<long>(written);
}

int CaptureFile::Close()
{
    if (handle_ < 0) {
        return 0;
    }
    const int error = ::close(static_cast<int>(handle_)) != 0 ? errno : 0;
    handle_ = -1;
    return error;
}

bool CaptureFile::StillThere() const
{
    struct stat status {};
    return ::stat(path_.c_str(), &status) == 0 && status.st_dev == volumeId_ && status.st_ino == fileId_;
}
