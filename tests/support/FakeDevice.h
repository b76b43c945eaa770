#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Device.h"

// What a fake device shows and does; the test changes it while the engine runs.
struct FakeDeviceState {
    mutable std::mutex mutex;
    std::condition_variable changed;

    bool opens = true;
    OpenError openError{OpenFailure::InUse, 16};
    bool open = false;
    bool lost = false;
    bool present = true;
    bool hasModemLines = true;
    bool keepsCounters = true;
    bool failsSettings = false;     // SetLineSettings fails as a vanishing device's does
    unsigned modemStatus = 0;       // MS_ bits
    unsigned raisedEvents = 0;      // events the next wait reports
    bool wakeRequested = false;
    std::string input;              // bytes waiting to be read
    unsigned lineErrors = 0;        // CE_ flags the next ClearErrors reports (and clears)
    bool inputOutlivesLoss = false;  // a gone device still gives what it held, as a hung-up terminal does
    int inputPurges = 0;
    std::string output;             // bytes written
    bool dtr = false;
    bool rts = false;
    bool breakOn = false;
    std::vector<std::pair<bool, std::chrono::steady_clock::time_point>> breakChanges;
    LineCounters counters;
    int waits = 0;
    // Read returns this long after the bytes left the device, as a preempted reader would.
    std::chrono::milliseconds readReturnsAfter{0};

    // Changes the state under the lock and wakes a waiting engine.
    template <typename Change>
    void Update(Change change)
    {
        {
            std::lock_guard lock(mutex);
            change(*this);
        }
        changed.notify_all();
    }
    // Waits up to five seconds for `condition` on the state.
    template <typename Condition>
    bool WaitUntil(Condition condition)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return condition(*this); });
    }
};

// A device behind the platform interface whose modem lines, line counters and losses a test
// controls: a pseudo-terminal has none of them.
class FakeDevice : public Device {
    // Runs `action` on the state under its lock, then wakes whoever waits for a change.
    template <typename Action>
    auto With(Action action) const -> decltype(action(std::declval<FakeDeviceState&>()))
    {
        std::unique_lock lock(state_->mutex);
        auto result = action(*state_);
        lock.unlock();
        state_->changed.notify_all();
        return result;
    }

public:
    explicit FakeDevice(std::shared_ptr<FakeDeviceState> state) : state_(std::move(state)) {}

    bool Open(const std::string&) override
    {
        lossReported_ = false;
        return With([](auto& s) { return s.open = s.opens; });
    }
    OpenError LastOpenError() const override { return With([](auto& s) { return s.open ? OpenError{} : s.openError; }); }
    void Close() override
    {
        With([](auto& s) { return s.open = false; });
    }
    bool IsOpen() const override { return With([](auto& s) { return s.open; }); }
    int Handle() const override { return 99; }
    bool IsLost() const override { return With([](auto& s) { return s.lost; }); }
    bool CheckPresence() override
    {
        return With([](auto& s) {
            s.lost = s.lost || !s.present;
            return !s.lost;
        });
    }

    bool SetQueueSizes(std::size_t, std::size_t) override { return IsOpen(); }
    bool GetTimeouts(CommTimeouts& timeouts) const override
    {
        timeouts = timeouts_;
        return IsOpen();
    }
    bool SetTimeouts(const CommTimeouts& timeouts) override
    {
        timeouts_ = timeouts;
        return IsOpen();
    }
    bool GetLineSettings(LineSettings& settings) const override
    {
        settings = line_;
        return IsOpen();
    }
    bool SetLineSettings(const LineSettings& settings) override
    {
        return With([&](auto& s) {
            if (s.failsSettings) {
                s.lost = true;
                return false;
            }
            line_ = settings;
            return true;
        });
    }
    bool Purge(unsigned flags) override
    {
        return With([&](auto& s) {
            if ((flags & PURGE_RXCLEAR) != 0) {
                s.input.clear();
                ++s.inputPurges;
            }
            return s.open;
        });
    }
    bool SetEventMask(unsigned mask) override
    {
        mask_ = mask;
        WakeWait();
        return true;
    }
    unsigned EventMask() const override { return mask_; }

    WaitResult WaitEvent(const WaitRequest& request) override
    {
        std::unique_lock lock(state_->mutex);
        ++state_->waits;
        // Once reported, a loss no longer ends waits: a gone device is not watched any more.
        auto ready = [&] {
            return state_->wakeRequested || (state_->lost && !lossReported_) || state_->raisedEvents != 0 ||
                   (request.watchInput && !state_->input.empty());
        };
        if (request.timeoutMs < 0) {
            state_->changed.wait(lock, ready);
        } else {
            state_->changed.wait_for(lock, std::chrono::milliseconds(request.timeoutMs), ready);
        }
        WaitResult result;
        result.events = state_->raisedEvents & mask_;
        if (request.watchInput && !state_->input.empty()) {
            result.events |= EV_RXCHAR & mask_;
        }
        result.hungUp = state_->lost;
        lossReported_ = state_->lost;
        result.outputRoom = request.watchOutputRoom;
        state_->raisedEvents = 0;
        state_->wakeRequested = false;
        return result;
    }
    void WakeWait() override
    {
        With([](auto& s) { return s.wakeRequested = true; });
    }

    bool ClearErrors(unsigned& errors, std::size_t& count) override
    {
        return With([&](auto& s) {
            errors = std::exchange(s.lineErrors, 0u);
            count = s.input.size();
            return !s.lost || s.inputOutlivesLoss;
        });
    }
    bool GetModemStatus(unsigned& status) const override
    {
        return With([&](auto& s) {
            status = s.modemStatus;
            return s.hasModemLines && !s.lost;
        });
    }
    bool InputQueueBytes(std::size_t& count) const override
    {
        return With([&](auto& s) {
            count = s.input.size();
            return !s.lost || s.inputOutlivesLoss;
        });
    }
    bool SetControlLine(ControlLine line, bool on) override
    {
        return With([&](auto& s) {
            (line == ControlLine::Dtr ? s.dtr : s.rts) = on;
            return s.hasModemLines;
        });
    }
    bool SetBreak(bool on) override
    {
        return With([&](auto& s) {
            s.breakOn = on;
            s.breakChanges.emplace_back(on, std::chrono::steady_clock::now());
            return true;
        });
    }
    bool GetLineCounters(LineCounters& counters) const override
    {
        return With([&](auto& s) {
            counters = s.counters;
            return s.keepsCounters;
        });
    }
    long Read(void* buffer, std::size_t size) override
    {
        std::chrono::milliseconds returnAfter{0};
        const long got = With([&](auto& s) -> long {
            returnAfter = s.readReturnsAfter;
            if (s.lost && (!s.inputOutlivesLoss || s.input.empty())) {
                return -1;
            }
            const std::size_t count = std::min(size, s.input.size());
            s.input.copy(static_cast<char*>(buffer), count);
            s.input.erase(0, count);
            return static_cast<long>(count);
        });
        std::this_thread::sleep_for(returnAfter);
        return got;
    }
    long Write(const void* bytes, std::size_t size) override
    {
        return With([&](auto& s) -> long {
            if (s.lost) {
                return -1;
            }
            s.output.append(static_cast<const char*>(bytes), size);
            return static_cast<long>(size);
        });
    }

private:
    std::shared_ptr<FakeDeviceState> state_;
    std::atomic<unsigned> mask_{0};
    bool lossReported_ = false;  // used by the waiting thread only
    CommTimeouts timeouts_;
    LineSettings line_;
};

// A factory that makes fake devices sharing one state.
inline DeviceFactory FakeDeviceFactory(std::shared_ptr<FakeDeviceState> state)
{
    return [state](const std::string&) { return std::make_unique<FakeDevice>(state); };
}
