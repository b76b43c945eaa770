#include "scheme/ReplyStatistics.h"

#include <algorithm>
#include <vector>

void ReplyStatistics::Record(std::uint64_t ruleId, std::chrono::system_clock::time_point when,
                             std::optional<Latency> latency)
{
    Rule& rule = rules_[ruleId];
    ++rule.fired;
    rule.lastFired = when;
    if (!latency) {
        return;
    }
    if (rule.latencies.size() == kLatencyWindow) {
        rule.latencies.pop_front();
    }
    rule.latencies.push_back(std::max(*latency, Latency::zero()));
}

std::optional<ReplyStatistics::Figures> ReplyStatistics::Of(std::uint64_t ruleId) const
{
    const auto found = rules_.find(ruleId);
    if (found == rules_.end()) {
        return std::nullopt;
    }
    const Rule& rule = found->second;
    Figures figures;
    figures.fired = rule.fired;
    figures.lastFired = rule.lastFired;
    if (rule.latencies.empty()) {
        return figures;
    }
    figures.timed = true;
    figures.last = rule.latencies.back();
    std::vector<Latency> sorted(rule.latencies.begin(), rule.latencies.end());
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    figures.median = sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    figures.longest = sorted.back();
    return figures;
}
