#include "traffic/AutoReply.h"

#include "traffic/Codec.h"

#include <optional>
#include <vector>

namespace {

// "自动恢复" in GBK.
constexpr char kAutoReplyWords[] = "\xD7\xD4\xB6\xAF\xBB\xD6\xB8\xB4";

} // namespace

std::string BuildMatchText(const unsigned char* bytes, std::size_t count, bool hex)
{
    std::string text;
    AppendDisplayForms(text, bytes, count, hex);
    if (hex) {
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
    }
    return text;
}

int FindFiringRule(const RuleList& rules, const unsigned char* snapshot, std::size_t count)
{
    std::optional<std::string> hexText;
    std::optional<std::string> plainText;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const ProtocolRule* rule = rules[i].get();
        if (rule == nullptr) {
            continue;
        }
        const bool hex = rule->RecvIsHex != 0;
        std::optional<std::string>& matchText = hex ? hexText : plainText;
        if (!matchText) {
            matchText = BuildMatchText(snapshot, count, hex);
        }
        if (matchText->find(rule->RecvData) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<ProtocolRule> AutoReplyMatcher::Match(const RuleList& rules, const unsigned char* bytes,
                                                    std::size_t count)
{
    kept_.Append(bytes, static_cast<int>(count));
    const int size = kept_.GetSize();
    std::vector<unsigned char> snapshot(static_cast<std::size_t>(size));
    const int copied = kept_.CopyTo(snapshot.data(), size);
    const int index = FindFiringRule(rules, snapshot.data(), static_cast<std::size_t>(copied));
    std::optional<ProtocolRule> fired;
    if (index >= 0) {
        fired = *rules[static_cast<std::size_t>(index)];
        kept_.Clear();
    }
    if (kept_.GetSize() > static_cast<int>(kAutoReplyBufferLimit)) {
        kept_.Clear();
    }
    return fired;
}

void AutoReplyMatcher::Clear() { kept_.Clear(); }

std::string AutoReplyLine(const std::string& ruleName)
{
    // The name is formatted as a C string, so it ends at a zero byte.
    return std::string("\r\n--") + kAutoReplyWords + ruleName.c_str() + "--\r\n";
}
