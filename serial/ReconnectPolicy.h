#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/DeviceWatcher.h"

// When to open a lost port again. A port that was lost (not closed by the user) waits for its
// device; each time devices change, or the retry time comes, the owner asks whether to try
// now. A device that is back but does not open (another program holds it, its permissions
// are not set yet) is tried again while it is there, at most four times a second and less
// often as the failures go on. A network port has no node to wait for: it is tried at once
// and then at that pace. An attempt may take time (a network port connects in the
// background); no other starts until it has ended. A close by the user, or turning the option
// off, cancels the wait.
class ReconnectPolicy {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    static constexpr std::chrono::milliseconds kFirstRetry{250};
    static constexpr std::chrono::milliseconds kLongestRetry{2000};

    explicit ReconnectPolicy(const DevicePresence& presence, Now now = Clock::now);

    void SetEnabled(bool enabled);
    bool Enabled() const;

    // Port `number`, whose device is `device`, was lost.
    void PortLost(int number, std::string device);
    void Cancel();
    // A lost port is waiting for its device.
    bool Waiting() const;
    int PortNumber() const;

    // Whether to open the port now: it waits, the option is on, its device is there and no
    // retry is due later.
    bool ShouldTryNow() const;
    void AttemptStarted();
    // An attempt has started and not yet ended.
    bool Attempting() const;
    void AttemptFailed();
    void AttemptSucceeded();
    // When to ask again though no device changed: only while the device is there and no
    // attempt goes on.
    std::optional<Clock::duration> AskAgainIn() const;

private:
    bool DeviceThere() const;

    const DevicePresence& presence_;
    Now now_;
    bool enabled_ = false;
    bool waiting_ = false;
    bool attempting_ = false;
    int portNumber_ = 0;
    std::string device_;
    Clock::time_point nextAttempt_{};
    std::chrono::milliseconds retryDelay_ = kFirstRetry;
};
