#include "serial/ReconnectPolicy.h"

#include <algorithm>

ReconnectPolicy::ReconnectPolicy(const DevicePresence& presence, Now now) : presence_(presence), now_(std::move(now)) {}

void ReconnectPolicy::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!enabled) {
        Cancel();
    }
}

bool ReconnectPolicy::Enabled() const { return enabled_; }

void ReconnectPolicy::PortLost(int number, std::string device)
{
    if (!enabled_) {
        return;
    }
    waiting_ = true;
    portNumber_ = number;
    device_ = std::move(device);
    nextAttempt_ = now_();
    retryDelay_ = kFirstRetry;
}

void ReconnectPolicy::Cancel() { waiting_ = false; }

bool ReconnectPolicy::Waiting() const { return waiting_; }

int ReconnectPolicy::PortNumber() const { return portNumber_; }

bool ReconnectPolicy::ShouldTryNow() const
{
    return waiting_ && enabled_ && now_() >= nextAttempt_ && presence_.DeviceExists(device_);
}

void ReconnectPolicy::AttemptFailed()
{
    nextAttempt_ = now_() + retryDelay_;
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
}

void ReconnectPolicy::AttemptSucceeded() { waiting_ = false; }

std::optional<ReconnectPolicy::Clock::duration> ReconnectPolicy::AskAgainIn() const
{
    if (!waiting_ || !enabled_ || !presence_.DeviceExists(device_)) {
        return std::nullopt;
    }
    return std::max(nextAttempt_ - now_(), Clock::duration::zero());
}
