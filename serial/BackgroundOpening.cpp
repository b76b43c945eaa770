#include "serial/BackgroundOpening.h"

BackgroundOpening::BackgroundOpening(std::unique_ptr<Device> device, Steps steps, std::function<void()> done)
    : device_(std::move(device))
{
    thread_ = std::thread([this, steps = std::move(steps), done = std::move(done)] {
        outcome_ = steps(*device_);
        finished_ = true;
        done();
    });
}

BackgroundOpening::~BackgroundOpening()
{
    if (device_ != nullptr) {
        device_->CancelOpen();
    }
    thread_.join();
}

bool BackgroundOpening::Finished() const { return finished_; }

const OpenSteps& BackgroundOpening::Outcome() const { return outcome_; }

std::unique_ptr<Device> BackgroundOpening::TakeDevice() { return std::move(device_); }
