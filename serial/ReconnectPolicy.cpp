#include "serial/ReconnectPolicy.h"

#include <algorithm>

#include "platform/NetworkTarget.h"
#include "platform/VirtualTarget.h"

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
    attempting_ = false;
    portNumber_ = number;
    device_ = std::move(device);
    nextAttempt_ = now_();
    retryDelay_ = kFirstRetry;
}

void ReconnectPolicy::Cancel()
{
    waiting_ = false;
    attempting_ = false;
}

bool ReconnectPolicy::Waiting() const { return waiting_; }

int ReconnectPolicy::PortNumber() const { return portNumber_; }

bool ReconnectPolicy::ShouldTryNow() const
{
    return waiting_ && enabled_ && !attempting_ && now_() >= nextAttempt_ && DeviceThere();
}

// A monitored port is back when the device it monitors is.
bool ReconnectPolicy::DeviceThere() const
{
    VirtualTarget parsed;
    std::string reason;
    const std::string& device = ParseVirtualTarget(device_, parsed, reason) && parsed.IsMonitor() ? parsed.device : device_;
    return IsNetworkTarget(device) || presence_.DeviceExists(device);
}

void ReconnectPolicy::AttemptStarted() { attempting_ = true; }

bool ReconnectPolicy::Attempting() const { return attempting_; }

void ReconnectPolicy::AttemptFailed()
{
    attempting_ = false;
    nextAttempt_ = now_() + retryDelay_;
    retryDelay_ = std::min(retryDelay_ * 2, kLongestRetry);
}

void ReconnectPolicy::AttemptSucceeded() { Cancel(); }

std::optional<ReconnectPolicy::Clock::duration> ReconnectPolicy::AskAgainIn() const
{
    if (!waiting_ || !enabled_ || attempting_ || !DeviceThere()) {
        return std::nullopt;
    }
    return std::max(nextAttempt_ - now_(), Clock::duration::zero());
}
