#include "platform/WholeFile.h"

#include "platform/TemporaryNames.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <cstdint>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 100;
constexpr int kMostLinkHops = 40;
constexpr std::size_t kLargeText = std::size_t{4} << 20;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

std::error_code LastError() { return {errno, std::generic_category()}; }

std::error_code ErrorOf(std::errc error) { return std::make_error_code(error); }

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool SameFile(const struct stat& left, const struct stat& right)
{
    return left.st_dev == right.st_dev && left.st_ino == right.st_ino;
}

// Whether `path` still names the file open as `fd`; a clean-up may have removed the name.
bool StillNamed(int fd, const std::string& path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && SameFile(opened, named);
}

// The file `path` names through any symbolic links, also one that does not exist yet, so that
// replacing it keeps the links.
std::error_code ResolveTarget(const std::string& path, std::string& target)
{
    target = path;
    for (int hop = 0; hop < kMostLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(target.c_str(), &status) != 0) {
            return errno == ENOENT ? std::error_code() : LastError();
        }
        if (!S_ISLNK(status.st_mode)) {
            return {};
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
        if (length < 0) {
            return LastError();
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            return ErrorOf(std::errc::filename_too_long);
        }
        const std::string linked(link, static_cast<std::size_t>(length));
        target = linked.front() == '/' ? linked : DirectoryOf(target) + "/" + linked;
    }
    return ErrorOf(std::errc::too_many_symbolic_link_levels);
}

std::error_code WriteAll(int fd, std::string_view contents)
{
    while (!contents.empty()) {
        const ssize_t count = ::write(fd, contents.data(), contents.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return LastError();
        }
        contents.remove_prefix(static_cast<std::size_t>(count));
    }
    return {};
}

// The temporary file a replacement writes, locked from its creation until it is renamed or
// removed, so that a clean-up never takes it away from its writer.
class TemporaryFile {
public:
    // Creates it beside `target`; `existing` is the target's status when there is one.
    std::error_code Create(const std::string& target, const struct stat* existing)
    {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            path_ = DirectoryOf(target) + "/" + TemporaryNameFor(NameOf(target));
            file_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                               existing != nullptr ? 0600 : 0666));
            if (file_.Get() < 0 && errno == EEXIST) {
                continue;
            }
            if (file_.Get() < 0) {
                return LastError();
            }
            // Between the creation and the lock a clean-up may have taken the name: then the
            // file is another's to remove, and this writer makes a new one. A file system
            // without locks leaves the file unlocked, and the clean-up leaves it alone.
            const bool heldByAnother = ::flock(file_.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (heldByAnother || !StillNamed(file_.Get(), path_)) {
                file_.Reset();
                continue;
            }
            created_ = true;
            if (existing != nullptr && ::fchmod(file_.Get(), existing->st_mode & 07777) != 0) {
                return LastError();
            }
            return {};
        }
        return ErrorOf(std::errc::file_exists);
    }

    std::error_code WriteAndFlush(std::string_view contents) const
    {
        if (const std::error_code error = WriteAll(file_.Get(), contents)) {
            return error;
        }
        return ::fsync(file_.Get()) == 0 ? std::error_code() : LastError();
    }

    std::error_code RenameOver(const std::string& target)
    {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            return LastError();
        }
        created_ = false;
        return {};
    }

    ~TemporaryFile()
    {
        if (created_) {
            ::unlink(path_.c_str());
        }
    }

private:
    std::string path_;
    Descriptor file_;
    bool created_ = false;
};

// Best effort: the rename has happened, and some file systems cannot flush a folder.
void SyncDirectory(const std::string& directory)
{
    const Descriptor handle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() >= 0) {
        ::fsync(handle.Get());
    }
}

std::error_code RefuseUnwritable(const std::string& target, const struct stat& existing)
{
    if (S_ISDIR(existing.st_mode)) {
        return ErrorOf(std::errc::is_a_directory);
    }
    return ::access(target.c_str(), W_OK) == 0 ? std::error_code() : LastError();
}

// Removes the temporary file at `path` unless it is not a regular file of this user or a
// writer holds it.
bool RemoveIfStale(const std::string& path)
{
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != ::geteuid()) {
        return false;
    }
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (file.Get() < 0 || ::fstat(file.Get(), &opened) != 0 || !SameFile(named, opened)) {
        return false;
    }
    if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0 || !StillNamed(file.Get(), path)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

}  // namespace

void ReserveLargeText(std::string& text, std::size_t size)
{
    text.reserve(size);
    if (size < kLargeText) {
        return;
    }
    const std::uintptr_t pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t firstPage = (begin + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t endPage = (begin + text.capacity()) & ~(pageSize - 1);
    if (endPage > firstPage) {
        ::madvise(reinterpret_cast<void*>(firstPage), endPage - firstPage, MADV_HUGEPAGE);  // only advice
    }
}

std::error_code ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0) {
        return LastError();
    }
    std::string text;
    if (S_ISREG(status.st_mode)) {
        const auto size = static_cast<std::size_t>(status.st_size);
        if (size > limit) {
            return ErrorOf(std::errc::file_too_large);
        }
        ReserveLargeText(text, size);
    }
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(file.Get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return LastError();
        }
        if (count == 0) {
            contents = std::move(text);
            return {};
        }
        if (static_cast<std::size_t>(count) > limit - text.size()) {
            return ErrorOf(std::errc::file_too_large);
        }
        text.append(chunk, static_cast<std::size_t>(count));
    }
}

std::error_code ReplaceWholeFile(const std::string& path, std::string_view contents)
{
    std::string target;
    if (const std::error_code error = ResolveTarget(path, target)) {
        return error;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return LastError();
    }
    if (exists) {
        if (const std::error_code error = RefuseUnwritable(target, existing)) {
            return error;
        }
    }
    TemporaryFile temporary;
    if (const std::error_code error = temporary.Create(target, exists ? &existing : nullptr)) {
        return error;
    }
    if (const std::error_code error = temporary.WriteAndFlush(contents)) {
        return error;
    }
    if (const std::error_code error = temporary.RenameOver(target)) {
        return error;
    }
    SyncDirectory(DirectoryOf(target));
    return {};
}

int RemoveStaleTemporaryFiles(const std::string& folder)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    int removed = 0;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (IsTemporaryFileName(name) && RemoveIfStale(entries->path().string())) {
            ++removed;
        }
    }
    return removed;
}

std::error_code OpenRegularFile(const std::string& path, std::FILE*& file, std::uint64_t& size)
{
    file = nullptr;
    // Without waiting: opening a FIFO for reading would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {errno, std::generic_category()};
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::make_error_code(std::errc::not_supported);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        return {error, std::generic_category()};
    }
    size = static_cast<std::uint64_t>(status.st_size);
    return {};
}
