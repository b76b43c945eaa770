#include "tests/serial/PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

std::size_t EntriesIn(const char* directory)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

}  // namespace

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() { Vanish(); }

void PtyPair::WriteToDevice(const std::string& bytes) const
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(master_, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the device side failed");
        } else {
            pollfd descriptor{master_, POLLOUT, 0};
            ::poll(&descriptor, 1, 100);
        }
    }
}

std::size_t PtyPair::QueuedForEngine() const
{
    int count = 0;
    return ::ioctl(slave_, FIONREAD, &count) == 0 && count > 0 ? static_cast<std::size_t>(count) : 0;
}

bool PtyPair::WaitQueuedForEngine(std::size_t count) const
{
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (QueuedForEngine() < count) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string PtyPair::ReadFromDevice(std::size_t atMost, std::chrono::milliseconds timeout) const
{
    pollfd descriptor{master_, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(timeout.count())) <= 0) {
        return {};
    }
    std::string bytes(atMost, '\0');
    const ssize_t count = ::read(master_, bytes.data(), atMost);
    bytes.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return bytes;
}

std::size_t PtyPair::StopReading() const
{
    const int flags = ::fcntl(slave_, F_GETFL);
    ::fcntl(slave_, F_SETFL, flags | O_NONBLOCK);
    const std::string filler(4096, 'f');
    std::size_t total = 0;
    // The pty moves written bytes on to the master side in the background, which makes room
    // again for a moment: fill until the room stays gone.
    for (std::size_t taken = 1; taken > 0;) {
        taken = 0;
        for (ssize_t count; (count = ::write(slave_, filler.data(), filler.size())) > 0;) {
            taken += static_cast<std::size_t>(count);
        }
        total += taken;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::fcntl(slave_, F_SETFL, flags);
    return total;
}

void PtyPair::Vanish()
{
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

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

std::size_t OpenDescriptorCount() { return EntriesIn("/proc/self/fd"); }

std::size_t ThreadCount() { return EntriesIn("/proc/self/task"); }
