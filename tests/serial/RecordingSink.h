#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "serial/PortNotifications.h"

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
