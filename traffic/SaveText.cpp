#include "traffic/SaveText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(int error) { return std::strerror(error); }

// Creates a new file next to `path` that no one else has opened; the umask applies to its mode.
int CreateTemporaryBeside(const std::string& path, std::string& temporaryPath)
{
    const std::filesystem::path target(path);
    const std::filesystem::path directory = target.has_parent_path() ? target.parent_path() : ".";
    std::random_device randomSource;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + target.filename().string() + "." + std::to_string(randomSource()) + ".tmp";
        temporaryPath = (directory / name).string();
        const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(fd, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// Writes, flushes, closes and renames; returns 0 or the errno of the first step that failed.
int CompleteReplacement(int fd, const std::string& text, const struct stat* existing,
                        const std::string& temporaryPath, const std::string& path)
{
    int error = 0;
    if (existing != nullptr && ::fchmod(fd, existing->st_mode & 07777) != 0) {
        error = errno;
    }
    if (error == 0 && (!WriteAll(fd, text) || ::fsync(fd) != 0)) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    return error;
}

} // namespace

std::string SaveReceivedText(const std::string& path, const std::string& text)
{
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return Reason(errno);
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        return Reason(EISDIR);
    }
    if (exists && ::access(path.c_str(), W_OK) != 0) {
        return Reason(errno);
    }
    std::string temporaryPath;
    const int fd = CreateTemporaryBeside(path, temporaryPath);
    if (fd < 0) {
        return Reason(errno);
    }
    const int error = CompleteReplacement(fd, text, exists ? &existing : nullptr, temporaryPath, path);
    if (error != 0) {
        ::unlink(temporaryPath.c_str());
        return Reason(error);
    }
    return "";
}
