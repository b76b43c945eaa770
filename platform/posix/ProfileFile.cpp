#include "platform/ProfileFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ProfileText.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// The file's bytes; an empty text for a missing file, nothing when it exists but cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path)
{
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(file.Get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            return text;
        }
        text.append(chunk, static_cast<std::size_t>(count));
    }
}

std::string ReadProfileText(const std::string& path) { return ReadWholeFile(path).value_or(std::string()); }

bool WriteAll(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// The file a path names, through any symbolic links, so replacing it keeps the links.
std::string ResolveTarget(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string TemporaryNameFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
}

void SyncDirectory(const std::string& directory)
{
    Descriptor handle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() >= 0) {
        ::fsync(handle.Get());
    }
}

bool ReplaceFile(const std::string& path, const std::string& text)
{
    const std::string target = ResolveTarget(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    const std::string temporary = TemporaryNameFor(target);
    Descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.Get() < 0) {
        return false;
    }
    const bool written = (!exists || ::fchmod(file.Get(), existing.st_mode & 07777) == 0) && WriteAll(file.Get(), text) &&
                         ::fsync(file.Get()) == 0;
    if (!file.Close() || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    return true;
}

std::string CutAtBuffer(std::string text, std::size_t bufferSize)
{
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    if (bufferSize == 0) {
        return {};
    }
    if (text.size() > bufferSize - 1) {
        text.resize(bufferSize - 1);
    }
    return text;
}

}  // namespace

int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue, const std::string& path)
{
    const std::optional<std::string> value = FindProfileValue(ReadProfileText(path), section, key);
    if (!value || value->empty()) {
        return defaultValue;
    }
    return ParseDecimalPrefix(*value);
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path)
{
    const std::optional<std::string> value = FindProfileValue(ReadProfileText(path), section, key);
    return CutAtBuffer(value.value_or(defaultValue), bufferSize);
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path)
{
    const std::optional<std::string> text = ReadWholeFile(ResolveTarget(path));
    if (!text) {
        return false;
    }
    return ReplaceFile(path, SetProfileValue(*text, section, key, value));
}
