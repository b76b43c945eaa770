#include "platform/WholeFile.h"

#include <algorithm>
#include <fcntl.h>
#include <utility>
#include <io.h>
#include <windows.h>

#include "platform/TemporaryNames.h"
#include "platform/win32/Win32Text.h"

namespace {

constexpr int kNameAttempts = 100;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kChunk = 65536;

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (Valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

std::error_code LastError() { return {ErrnoFromLastError(), std::generic_category()}; }

std::error_code ErrorOf(std::errc error) { return std::make_error_code(error); }

std::size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

HANDLE OpenForReading(const std::string& path)
{
    // Folders open too (backup semantics), to be refused as no regular file.
    return ::CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether `file` is a file on a disk (not a folder, a pipe or a device), with its size.
bool IsRegularFile(HANDLE file, std::uint64_t& size)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    return true;
}

std::error_code WriteAll(HANDLE file, std::string_view contents)
{
    while (!contents.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, contents.data(), piece, &written, nullptr)) {
            return LastError();
        }
        contents.remove_prefix(written);
    }
    return {};
}

// The temporary file a replacement writes, held without sharing from its creation until it
// is renamed or removed, so that a clean-up cannot take it away from its writer.
class TemporaryFile {
public:
    std::error_code Create(const std::string& target)
    {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            path_ = WideFromUtf8(DirectoryOf(target) + "/" + TemporaryNameFor(NameOf(target)));
            file_.Reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file_.Valid() && ::GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            if (!file_.Valid()) {
                return LastError();
            }
            created_ = true;
            return {};
        }
        return ErrorOf(std::errc::file_exists);
    }

    std::error_code WriteAndFlush(std::string_view contents)
    {
        if (const std::error_code error = WriteAll(file_.Get(), contents)) {
            return error;
        }
        if (!::FlushFileBuffers(file_.Get())) {
            return LastError();
        }
        file_.Reset();
        return {};
    }

    std::error_code RenameOver(const std::string& target)
    {
        if (!::MoveFileExW(path_.c_str(), WideFromUtf8(target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return LastError();
        }
        created_ = false;
        return {};
    }

    ~TemporaryFile()
    {
        file_.Reset();
        if (created_) {
            ::DeleteFileW(path_.c_str());
        }
    }

private:
    std::wstring path_;
    Handle file_;
    bool created_ = false;
};

std::error_code RefuseUnwritable(DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return ErrorOf(std::errc::is_a_directory);
    }
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ErrorOf(std::errc::permission_denied) : std::error_code();
}

}  // namespace

void ReserveLargeText(std::string& text, std::size_t size) { text.reserve(size); }

std::error_code ReadWholeFile(const std::string& path, std::string& contents, std::size_t limit)
{
    const Handle file(OpenForReading(path));
    if (!file.Valid()) {
        return LastError();
    }
    std::string text;
    std::uint64_t size = 0;
    if (IsRegularFile(file.Get(), size)) {
        if (size > limit) {
            return ErrorOf(std::errc::file_too_large);
        }
        ReserveLargeText(text, static_cast<std::size_t>(size));
    }
    char chunk[kChunk];
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(file.Get(), chunk, kChunk, &count, nullptr) && ::GetLastError() != ERROR_BROKEN_PIPE) {
            return LastError();
        }
        if (count == 0) {
            contents = std::move(text);
            return {};
        }
        if (count > limit - text.size()) {
            return ErrorOf(std::errc::file_too_large);
        }
        text.append(chunk, count);
    }
}

std::error_code ReplaceWholeFile(const std::string& path, std::string_view contents)
{
    const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return LastError();
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (const std::error_code error = RefuseUnwritable(attributes)) {
            return error;
        }
    }
    TemporaryFile temporary;
    if (const std::error_code error = temporary.Create(path)) {
        return error;
    }
    if (const std::error_code error = temporary.WriteAndFlush(contents)) {
        return error;
    }
    return temporary.RenameOver(path);
}

int RemoveStaleTemporaryFiles(const std::string& folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring base = WideFromUtf8(folder) + L"\\";
    const HANDLE search = ::FindFirstFileW((base + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int removed = 0;
    do {
        const bool plainFile = (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        // A writer holds its file without sharing: deleting that one fails, and it stays.
        if (plainFile && IsTemporaryFileName(Utf8FromWide(found.cFileName)) &&
            ::DeleteFileW((base + found.cFileName).c_str())) {
            ++removed;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return removed;
}

std::error_code OpenRegularFile(const std::string& path, std::FILE*& file, std::uint64_t& size)
{
    file = nullptr;
    Handle handle(OpenForReading(path));
    if (!handle.Valid()) {
        return LastError();
    }
    if (!IsRegularFile(handle.Get(), size)) {
        return std::make_error_code(std::errc::not_supported);
    }
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.Get()), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        return {errno, std::generic_category()};
    }
    handle.Release();
    file = ::_fdopen(descriptor, "rb");
    if (file == nullptr) {
        const int error = errno;
        ::_close(descriptor);
        return {error, std::generic_category()};
    }
    return {};
}
