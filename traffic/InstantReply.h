#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "scheme/SchemeModel.h"
#include "serial/ReceiveResponder.h"
#include "traffic/AutoReply.h"

// Auto-reply decided on the port's monitor thread: the rules are matched against the input as
// it is read, and the reply goes out at once instead of when the owner's thread gets to the
// bytes. Matching is the owner's own (AutoReplyMatcher), over reads of at most
// kAutoReplyReadSize bytes.
//
// The rules are a copy, taken by SetRules. What fired waits for the window (TakeFirings), which
// shows it as it shows a reply it sent itself; at most kMaxWaitingFirings wait, and those
// beyond are answered without being shown (only a window that stopped reading lets so many
// pile up: each read of the input fires at most once).
class InstantReply : public ReceiveResponder {
public:
    static constexpr std::size_t kMaxWaitingFirings = 4096;

    struct Firing {
        std::string ruleName;
        std::string sendData;
        std::int32_t sendIsHex = 0;
        std::string bytes;  // what was written
        std::uint64_t ruleId = 0;
        std::chrono::system_clock::time_point firedAt;
        // From the read that completed the match to the reply handed to the device; unknown
        // when the firing was taken before its reply was written.
        std::optional<std::chrono::nanoseconds> latency;
    };

    void SetRules(const RuleList& rules);
    // Whether input is matched at all; while it is not, nothing is kept for matching.
    void SetEnabled(bool enabled);

    std::string Respond(const unsigned char* bytes, std::size_t count) override;
    void Written() override;

    std::vector<Firing> TakeFirings();

private:
    std::string Match(const unsigned char* bytes, std::size_t count, std::chrono::steady_clock::time_point readAt);

    std::mutex mutex_;
    RuleList rules_;
    bool enabled_ = false;
    AutoReplyMatcher matcher_;
    std::vector<Firing> firings_;
    // When the reads of the last firings were made, whose replies are not yet written.
    std::vector<std::chrono::steady_clock::time_point> unwrittenReadAt_;
};
