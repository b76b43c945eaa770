#include "platform/VirtualTarget.h"

#include <string_view>

#include "platform/CodePage.h"
#include "platform/NetworkTarget.h"

namespace {

constexpr std::string_view kVirtualScheme = "virtual:";
constexpr std::string_view kMonitorScheme = "monitor:";
constexpr std::size_t kMaxNameLength = 64;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
}

bool CheckName(std::string_view name, std::string& reason)
{
    if (name.empty()) {
        reason = Utf8ToGbk("虚拟串口没有名称");
    } else if (name.size() > kMaxNameLength) {
        reason = Utf8ToGbk("虚拟串口名称超过 64 个字符");
    } else if (name == "." || name == "..") {
        reason = Utf8ToGbk("虚拟串口名称不能是 . 或 ..");
    } else {
        for (const char c : name) {
            if (!IsNameCharacter(c)) {
                reason = Utf8ToGbk("虚拟串口名称只能含字母、数字、-、_ 和 .");
                return false;
            }
        }
        return true;
    }
    return false;
}

bool CheckMonitoredDevice(std::string_view device, std::string& reason)
{
    if (device.empty()) {
        reason = Utf8ToGbk("监视端口没有设备");
        return false;
    }
    if (IsVirtualTarget(std::string(device))) {
        reason = Utf8ToGbk("监视端口的设备不能是虚拟串口或监视端口");
        return false;
    }
    NetworkTarget network;
    if (IsNetworkTarget(std::string(device)) && !ParseNetworkTarget(std::string(device), network, reason)) {
        return false;
    }
    return true;
}

}  // namespace

bool IsVirtualTarget(const std::string& target)
{
    return StartsWithIgnoringCase(target, kVirtualScheme) || StartsWithIgnoringCase(target, kMonitorScheme);
}

bool IsMonitorTarget(const std::string& target) { return StartsWithIgnoringCase(target, kMonitorScheme); }

bool ParseVirtualTarget(const std::string& target, VirtualTarget& parsed, std::string& reason)
{
    const std::string_view text = target;
    VirtualTarget result;
    if (StartsWithIgnoringCase(text, kVirtualScheme)) {
        result.name = text.substr(kVirtualScheme.size());
    } else if (StartsWithIgnoringCase(text, kMonitorScheme)) {
        // The name comes last, so a device path or address may hold commas.
        const std::string_view fields = text.substr(kMonitorScheme.size());
        const std::size_t comma = fields.rfind(',');
        if (comma == std::string_view::npos) {
            reason = Utf8ToGbk("监视端口应写作 monitor:设备,名称");
            return false;
        }
        result.device = fields.substr(0, comma);
        result.name = fields.substr(comma + 1);
        if (!CheckMonitoredDevice(result.device, reason)) {
            return false;
        }
    } else {
        reason = Utf8ToGbk("不是虚拟串口或监视端口");
        return false;
    }
    if (!CheckName(result.name, reason)) {
        return false;
    }
    parsed = std::move(result);
    return true;
}

std::string VirtualTargetText(const VirtualTarget& target)
{
    if (target.IsMonitor()) {
        return std::string(kMonitorScheme) + target.device + "," + target.name;
    }
    return std::string(kVirtualScheme) + target.name;
}
