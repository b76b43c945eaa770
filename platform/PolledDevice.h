#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "platform/Device.h"
#include "platform/Signal.h"

// What the device kinds here keep alike: fixed queues, the time-out record (kept for the
// owner; reads and writes never wait), the event mask, and the wake-up descriptor (an event
// on Windows) that a wait watches beside the device, so that WakeWait and a change of the
// mask end it.
class PolledDevice : public Device {
public:
    PolledDevice() = default;
    ~PolledDevice() override;
    PolledDevice(const PolledDevice&) = delete;
    PolledDevice& operator=(const PolledDevice&) = delete;

    // The queues have fixed sizes; succeeds when the device is open.
    bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) override;
    bool GetTimeouts(CommTimeouts& timeouts) const override;
    bool SetTimeouts(const CommTimeouts& timeouts) override;

    bool SetEventMask(unsigned mask) override;
    unsigned EventMask() const override;
    void WakeWait() override;

protected:
    // At Open: a fresh wake-up descriptor (on Windows an event), the mask 0 and no time-outs.
    // False (errno set) when none can be made.
    bool OpenWakeUps();
    void CloseWakeUps();
    // What WakeWait and a change of the mask raise (on Windows an auto-reset event, which the
    // wait it ends lowers).
    NativeSignal WakeSignal() const;
    void DrainWakeUps();
    // Whether the mask changed since the last call: the wait then takes its event baselines
    // again.
    bool TakeMaskChange() { return maskChanged_.exchange(false); }

private:
    // At Open: the mask 0 and no time-outs.
    void ForgetSettings();

#ifdef _WIN32
    void* wakeEvent_ = nullptr;
#else
    int wakeFd_ = -1;
#endif
    std::atomic<unsigned> eventMask_{0};
    std::atomic<bool> maskChanged_{false};
    mutable std::mutex timeoutsMutex_;
    CommTimeouts timeouts_;
};
