#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/Device.h"

// Which steps of opening a port succeeded: Open, the set-up (queue sizes, time-outs, purge)
// and the line settings of a settings text, each tried only when the one before succeeded.
struct OpenSteps {
    bool opened = false;
    bool setUp = false;
    bool settingsTaken = false;
    std::string settings;  // the settings text
};

// Runs the steps of opening a device on a thread of its own, for a device whose opening may
// wait, and calls `done` on that thread when they have ended. Destroying it ends the steps at
// once (the device's CancelOpen) and waits for the thread, which then has nothing left to wait
// for.
class BackgroundOpening {
public:
    using Steps = std::function<OpenSteps(Device& device)>;

    // Throws std::system_error when no thread can be started.
    BackgroundOpening(std::unique_ptr<Device> device, Steps steps, std::function<void()> done);
    ~BackgroundOpening();
    BackgroundOpening(const BackgroundOpening&) = delete;
    BackgroundOpening& operator=(const BackgroundOpening&) = delete;

    bool Finished() const;
    // Once Finished: what the steps did, and the device they left (open when Open succeeded).
    const OpenSteps& Outcome() const;
    std::unique_ptr<Device> TakeDevice();

private:
    std::unique_ptr<Device> device_;
    OpenSteps outcome_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
