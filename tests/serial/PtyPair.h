#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "serial/PortNotifications.h"

// A pseudo-terminal pair: the test holds the master as "the device"; the engine opens the
// slave by its path. The pair also keeps one slave descriptor open, so the test can see the
// slave's input queue and the pair survives the engine closing and reopening it.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void WriteToDevice(const std::string& bytes) const;
    // Bytes the engine side has not read yet.
    std::size_t QueuedForEngine() const;
    // Waits until `count` bytes are queued for the engine side.
    bool WaitQueuedForEngine(std::size_t count) const;
    // Reads what the engine wrote, waiting up to `timeout` for the first byte.
    std::string ReadFromDevice(std::size_t atMost, std::chrono::milliseconds timeout) const;
    // Fills the way from the engine to the device until it takes no more, as a device that
    // stopped reading would; returns the bytes it took.
    std::size_t StopReading() const;
    // Closes both ends the test holds: the device vanishes.
    void Vanish();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

struct Notification {
    unsigned message;
    int wParam;
    long lParam;
    bool operator==(const Notification&) const = default;
};

// Records what the engine posts, from any thread.
class RecordingSink : public NotificationSink {
public:
    bool IsAlive() const override;
    void Post(unsigned message, int wParam, long lParam) override;
    void ReportFailure(const std::string& caption, const std::string& text) override;

    void SetAlive(bool alive);
    // Waits until at least `count` notifications arrived; false after a few seconds.
    bool WaitForCount(std::size_t count);
    std::vector<Notification> Notifications() const;
    std::vector<std::pair<std::string, std::string>> Failures() const;
    bool WaitForFailure();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool alive_ = true;
    std::vector<Notification> notifications_;
    std::vector<std::pair<std::string, std::string>> failures_;
};

// Number of open descriptors and of threads of this process.
std::size_t OpenDescriptorCount();
std::size_t ThreadCount();
