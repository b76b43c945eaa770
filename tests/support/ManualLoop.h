#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "session/SessionLoop.h"

// A session loop that the test turns: tasks posted from any thread wait until the test runs
// them, and timers come due only when the test moves the loop's time on. Nothing sleeps.
class ManualLoop final : public SessionLoop {
public:
    void Post(std::function<void()> task) override
    {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }

    std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> task, bool singleShot) override
    {
        return std::make_unique<Timer>(*this, std::move(task), singleShot);
    }

    // Runs posted tasks as they come until `done` holds; false when it does not within `limit`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) {
                    return done();
                }
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        return true;
    }

    // Moves the timers' time on by `step`, running every timer that comes due on the way, in
    // the order they come due.
    void Advance(std::chrono::milliseconds step)
    {
        const std::chrono::milliseconds end = now_ + step;
        for (Timer* due = NextDue(end); due != nullptr; due = NextDue(end)) {
            now_ = due->due_;
            due->Fire();
        }
        now_ = end;
    }

private:
    class Timer final : public SessionTimer {
    public:
        Timer(ManualLoop& loop, std::function<void()> task, bool singleShot)
            : loop_(loop), task_(std::move(task)), singleShot_(singleShot)
        {
            loop_.timers_.push_back(this);
        }
        ~Timer() override { std::erase(loop_.timers_, this); }

        void Start(std::chrono::milliseconds interval) override
        {
            interval_ = std::max(interval, std::chrono::milliseconds(1));
            due_ = loop_.now_ + interval_;
            active_ = true;
        }
        void Stop() override { active_ = false; }
        bool IsActive() const override { return active_; }

        void Fire()
        {
            active_ = !singleShot_;
            due_ += interval_;
            task_();
        }

        ManualLoop& loop_;
        std::function<void()> task_;
        bool singleShot_;
        bool active_ = false;
        std::chrono::milliseconds interval_{1};
        std::chrono::milliseconds due_{0};
    };

    Timer* NextDue(std::chrono::milliseconds end) const
    {
        Timer* next = nullptr;
        for (Timer* timer : timers_) {
            if (timer->active_ && timer->due_ <= end && (next == nullptr || timer->due_ < next->due_)) {
                next = timer;
            }
        }
        return next;
    }

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::vector<Timer*> timers_;  // the test's thread only
    std::chrono::milliseconds now_{0};
};
