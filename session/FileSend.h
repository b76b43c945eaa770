#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "session/SessionLoop.h"

// "每包": a file sent in packets of `packetSize` bytes with `packetDelayMs` between them, for
// devices without flow control; 0 sends the file whole, as fast as the device takes it.
struct FileSendOptions {
    int packetSize = 0;
    int packetDelayMs = 0;
};

// A file's bytes going to a port as the device takes them: the port's queue of bytes waiting for
// the device is filled up again whenever it holds less than kRefillBelow, a read of kReadSize at a
// time, so a file of any size needs no more memory than about a megabyte; in packets, each packet waits until the one before has gone out and the
// delay has passed. It runs on its session's loop and tells the session what it wrote.
class FileSend {
public:
    static constexpr std::size_t kRefillBelow = 1024 * 1024;
    static constexpr std::size_t kReadSize = 256 * 1024;
    static constexpr std::chrono::milliseconds kLookInterval{2};

    enum class Outcome { Sent, Cancelled, PortClosed, Shrank, ReadFailed };

    struct Port {
        std::function<std::size_t()> waitingBytes;             // bytes not yet taken by the device
        std::function<void(const std::string& bytes)> write;   // hands bytes to the port
        std::function<void(Outcome outcome)> ended;
    };

    FileSend(SessionLoop& loop, std::FILE* file, std::uint64_t size, const FileSendOptions& options, Port port);
    ~FileSend();
    FileSend(const FileSend&) = delete;
    FileSend& operator=(const FileSend&) = delete;

    // Ends the send early; what was handed to the port goes out.
    void Stop(Outcome outcome) { End(outcome); }
    bool Active() const { return !ended_; }

    std::uint64_t Written() const { return written_; }
    std::uint64_t Size() const { return size_; }
    std::chrono::steady_clock::time_point Started() const { return started_; }

private:
    void Look();
    // Writes up to `count` bytes of the file; false when the file gave fewer (which ends it).
    bool WriteFromFile(std::size_t count);
    void End(Outcome outcome);

    std::FILE* file_;
    std::uint64_t size_;
    FileSendOptions options_;
    Port port_;
    std::uint64_t written_ = 0;
    bool ended_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::unique_ptr<SessionTimer> look_;
    std::unique_ptr<SessionTimer> packetDelay_;
};
