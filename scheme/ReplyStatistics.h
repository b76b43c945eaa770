#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>

// How often each auto-reply rule fired, when it last did, and how quickly it answered: the
// time from the read that completed its match to its reply handed to the device, over its last
// kLatencyWindow firings. Rules are known by their Id; nothing here is saved.
class ReplyStatistics {
public:
    static constexpr std::size_t kLatencyWindow = 1000;

    using Latency = std::chrono::nanoseconds;

    struct Figures {
        std::uint64_t fired = 0;
        std::chrono::system_clock::time_point lastFired;
        bool timed = false;  // the latencies below are known
        Latency last{};
        Latency median{};
        Latency longest{};
    };

    // A firing of the rule; its latency may be unknown.
    void Record(std::uint64_t ruleId, std::chrono::system_clock::time_point when, std::optional<Latency> latency);
    // The figures of a rule that fired since the last Clear.
    std::optional<Figures> Of(std::uint64_t ruleId) const;
    void Clear() { rules_.clear(); }

private:
    struct Rule {
        std::uint64_t fired = 0;
        std::chrono::system_clock::time_point lastFired;
        std::deque<Latency> latencies;  // the last kLatencyWindow, oldest first
    };
    std::unordered_map<std::uint64_t, Rule> rules_;
};
