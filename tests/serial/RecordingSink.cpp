#include "tests/serial/RecordingSink.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

}  // namespace

bool RecordingSink::IsAlive() const
{
    std::lock_guard lock(mutex_);
    return alive_;
}

void RecordingSink::Post(unsigned message, int wParam, long lParam)
{
    std::lock_guard lock(mutex_);
    notifications_.push_back({message, wParam, lParam});
    changed_.notify_all();
}

void RecordingSink::ReportFailure(const std::string& caption, const std::string& text)
{
    std::lock_guard lock(mutex_);
    failures_.emplace_back(caption, text);
    changed_.notify_all();
}

void RecordingSink::SetAlive(bool alive)
{
    std::lock_guard lock(mutex_);
    alive_ = alive;
}

bool RecordingSink::WaitForCount(std::size_t count)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return notifications_.size() >= count; });
}

std::vector<Notification> RecordingSink::Notifications() const
{
    std::lock_guard lock(mutex_);
    return notifications_;
}

std::vector<std::pair<std::string, std::string>> RecordingSink::Failures() const
{
    std::lock_guard lock(mutex_);
    return failures_;
}

bool RecordingSink::WaitForFailure()
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return !failures_.empty(); });
}
