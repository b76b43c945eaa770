#pragma once

#include "scheme/SchemeModel.h"
#include "traffic/SharedBuffer.h"

#include <cstddef>
#include <optional>
#include <string>

// Received bytes kept for matching beyond which they are all dropped (after the match).
constexpr std::size_t kAutoReplyBufferLimit = 1024;
// The most received bytes taken in one read for matching: each read fires at most one rule.
constexpr std::size_t kAutoReplyReadSize = 1024;

// The text a rule's receive pattern is searched in. Hex: "%02X " per byte with the trailing
// spaces removed ("01 03 00"); text: every byte as itself, zero bytes left out.
std::string BuildMatchText(const unsigned char* bytes, std::size_t count, bool hex);

// Index in `rules` of the first rule whose receive pattern occurs in the match text of
// `snapshot` (case-sensitive substring; an empty pattern always occurs), or -1. Each of the two
// match texts is built at most once per call.
int FindFiringRule(const RuleList& rules, const unsigned char* snapshot, std::size_t count);

// Auto-reply over the received bytes, read by read: each read (at most kAutoReplyReadSize
// bytes) is added to the bytes kept so far, the first rule whose pattern occurs in them fires
// and empties them, and kept bytes beyond kAutoReplyBufferLimit are dropped after the match.
// The same matching answers on the owner's thread and on the port's monitor thread.
class AutoReplyMatcher {
public:
    // Adds one read and returns the rule of `rules` that fired on it, if one did.
    std::optional<ProtocolRule> Match(const RuleList& rules, const unsigned char* bytes, std::size_t count);
    void Clear();

private:
    CSharedBuffer kept_;
};

// The line added to the receive area when a rule fires: CR LF, "--自动恢复", the name, "--",
// CR LF, in GBK bytes.
std::string AutoReplyLine(const std::string& ruleName);
