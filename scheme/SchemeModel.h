#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One auto-reply rule: when received data contains RecvData, SendData is sent.
// Texts are GBK bytes exactly as typed; the flags are 1 for hexadecimal text.
struct ProtocolRule {
    std::string Name;
    std::string RecvData;
    std::string SendData;
    std::int32_t RecvIsHex = 0;
    std::int32_t SendIsHex = 0;
    // Which rule this is while the program runs (given by the scheme, kept by edits); never saved.
    std::uint64_t Id = 0;
};

// One captioned message of the send list.
struct SendItem {
    std::int32_t IsHex = 0;
    std::string Caption;
    std::string Data;
};

// Rules in matching order; the rule editor refers to rules by their address.
using RuleList = std::vector<std::unique_ptr<ProtocolRule>>;

// Entries in send order. Windows that show the list hold shared references, so an entry
// removed from the list stays valid for a row that still shows it until that row is rebuilt.
using SendList = std::vector<std::shared_ptr<SendItem>>;
