#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/CaptureFile.h"

// Why a capture ended before it was stopped.
struct CaptureFailure {
    enum Kind {
        WriteFailed,  // the system refused a write (disk full, file too large, I/O error)
        FileGone,     // the path no longer leads to the file (it or its folder was removed)
        TooSlow,      // the disk did not keep up and the queue reached its limit
    };
    Kind kind;
    int error;  // errno of a failed write, else 0
};

// Appends bytes to a file on a thread of its own, so the caller never waits for the disk. The
// bytes wait in a queue of bounded size and reach the file at least every kFlushPeriod and when
// the writer closes. After a failure nothing more is taken, and what reached the file stays in
// it. Open, Write and Close belong to one thread (the owner's).
class CaptureWriter {
public:
    static constexpr std::size_t kDefaultQueueLimit = 4 * 1024 * 1024;
    static constexpr std::chrono::milliseconds kFlushPeriod{200};

    // Turns queued bytes into file bytes on the writer's thread: takes whole units (as the
    // caller queued them) from the front of `queued`, appending their file bytes to `out`, and
    // stops once `out` holds about `enough` bytes. Returns how many queued bytes it took.
    using Encoder = std::function<std::size_t(std::string_view queued, std::string& out, std::size_t enough)>;

    explicit CaptureWriter(std::size_t queueLimit = kDefaultQueueLimit) : queueLimit_(queueLimit) {}
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Opens `path` and starts the thread; returns "" or the system's reason for the failure.
    // Without an encoder the queued bytes go to the file as they are.
    std::string Open(const std::string& path, CaptureOpen mode, Encoder encoder = {});
    // Queues `head` followed by `tail` as one unit; false when the writer is closed or has failed
    // (the bytes are not taken).
    bool Write(std::string_view head, std::string_view tail = {});
    // Writes what is queued, closes the file and ends the thread. Returns the failure, if any.
    std::optional<CaptureFailure> Close();

    bool IsOpen() const { return file_.IsOpen(); }
    // The file's size as far as this writer has brought it.
    std::uint64_t FileSize() const { return fileSize_; }
    std::optional<CaptureFailure> Failure() const;

private:
    void Run();
    std::optional<CaptureFailure> WriteBatch(const std::string& batch, std::string& encoded);
    std::optional<CaptureFailure> WriteOut(std::string_view bytes);

    const std::size_t queueLimit_;
    CaptureFile file_;
    Encoder encoder_;  // used by the writer's thread while it runs
    std::atomic<std::uint64_t> fileSize_{0};

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::string pending_;
    bool wakeRequested_ = false;
    bool stopping_ = false;
    std::optional<CaptureFailure> failure_;
    std::thread thread_;
};
