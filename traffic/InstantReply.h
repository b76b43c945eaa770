#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
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
    };

    void SetRules(const RuleList& rules);
    // Whether input is matched at all; while it is not, nothing is kept for matching.
    void SetEnabled(bool enabled);

    std::string Respond(const unsigned char* bytes, std::size_t count) override;

    std::vector<Firing> TakeFirings();

private:
    std::string Match(const unsigned char* bytes, std::size_t count);

    std::mutex mutex_;
    RuleList rules_;
    bool enabled_ = false;
    AutoReplyMatcher matcher_;
    std::vector<Firing> firings_;
};
