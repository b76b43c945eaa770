#include "traffic/InstantReply.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "traffic/SendText.h"

void InstantReply::SetRules(const RuleList& rules)
{
    RuleList copy;
    copy.reserve(rules.size());
    for (const auto& rule : rules) {
        copy.push_back(rule == nullptr ? nullptr : std::make_unique<ProtocolRule>(*rule));
    }
    std::lock_guard lock(mutex_);
    rules_ = std::move(copy);
}

void InstantReply::SetEnabled(bool enabled)
{
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

std::string InstantReply::Respond(const unsigned char* bytes, std::size_t count)
{
    const auto readAt = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    std::string reply;
    if (!enabled_) {
        return reply;
    }
    try {
        for (std::size_t done = 0; done < count; done += kAutoReplyReadSize) {
            reply += Match(bytes + done, std::min(kAutoReplyReadSize, count - done), readAt);
        }
    } catch (const std::exception&) {
        // Out of memory: what was answered so far still goes out.
    }
    return reply;
}

std::string InstantReply::Match(const unsigned char* bytes, std::size_t count,
                                std::chrono::steady_clock::time_point readAt)
{
    const std::optional<ProtocolRule> rule = matcher_.Match(rules_, bytes, count);
    if (!rule) {
        return {};
    }
    std::string reply = BytesToSend(rule->SendData, rule->SendIsHex);
    if (firings_.size() < kMaxWaitingFirings) {
        firings_.push_back(
            {rule->Name, rule->SendData, rule->SendIsHex, reply, rule->Id, std::chrono::system_clock::now(), {}});
        unwrittenReadAt_.push_back(readAt);
    }
    return reply;
}

void InstantReply::Written()
{
    const auto writtenAt = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    const std::size_t first = firings_.size() - unwrittenReadAt_.size();
    for (std::size_t i = 0; i < unwrittenReadAt_.size(); ++i) {
        firings_[first + i].latency = writtenAt - unwrittenReadAt_[i];
    }
    unwrittenReadAt_.clear();
}

std::vector<InstantReply::Firing> InstantReply::TakeFirings()
{
    std::lock_guard lock(mutex_);
    unwrittenReadAt_.clear();
    return std::exchange(firings_, {});
}
