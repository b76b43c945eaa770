#pragma once

#include <cstdint>
#include <string>

// How a capture file is opened: a new file only, an existing one emptied, or one continued.
enum class CaptureOpen { CreateNew, Truncate, Append };

// A regular file that received bytes are appended to. Opening never waits (a named pipe
// without a reader is refused) and anything but a regular file is refused (EINVAL).
class CaptureFile {
public:
    CaptureFile() = default;
    ~CaptureFile();
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    // 0 on success, else the error number; the size is that of the file as opened.
    int Open(const std::string& path, CaptureOpen mode, std::uint64_t& size);
    bool IsOpen() const;
    // Bytes written (some of them), or -1 with errno set.
    long Write(const char* bytes, std::size_t count);
    // 0, or the error number of a failed close.
    int Close();
    // Whether the path still leads to the opened file: writes to a file whose folder was
    // removed succeed and go nowhere.
    bool StillThere() const;

private:
    std::intptr_t handle_ = -1;
    std::string path_;
    std::uint64_t fileId_ = 0;
    std::uint64_t volumeId_ = 0;
};
