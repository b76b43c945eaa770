#include "app/PortMap.h"

#include "platform/CodePage.h"
#include "platform/NetworkTarget.h"
#include "platform/PortNames.h"
#include "platform/VirtualDevice.h"
#include "platform/VirtualTarget.h"

namespace {

constexpr const char* kSection = "Ports";
constexpr std::size_t kLongestTarget = 4095;

std::string PortName(int number) { return "COM" + std::to_string(number); }

bool HasControlCharacter(const std::string& text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

bool HasBlankAround(const std::string& text)
{
    return text.front() == ' ' || text.back() == ' ';
}

// Fills in what a well formed target of a virtual or monitored port stands for.
void DescribeVirtual(const VirtualTarget& parsed, PortMapRow& row)
{
    row.kind = parsed.IsMonitor() ? PortKind::Monitor : PortKind::Virtual;
    row.device = parsed.device;
    row.linkName = parsed.name;
    row.linkPath = VirtualPortLink(parsed.name);
}

}  // namespace

bool CheckPortTarget(const std::string& target, std::string& reason)
{
    if (target.empty()) {
        reason = Utf8ToGbk("没有填写设备");
    } else if (target.size() > kLongestTarget) {
        reason = Utf8ToGbk("超过 4095 个字节");
    } else if (HasControlCharacter(target)) {
        reason = Utf8ToGbk("不能含换行等控制字符");
    } else if (HasBlankAround(target)) {
        reason = Utf8ToGbk("前后不能有空格");
    } else if (IsVirtualTarget(target)) {
        VirtualTarget parsed;
        return ParseVirtualTarget(target, parsed, reason);
    } else if (IsNetworkTarget(target)) {
        NetworkTarget parsed;
        return ParseNetworkTarget(target, parsed, reason);
    } else if (target.front() != '/') {
        reason = Utf8ToGbk("设备路径应以 / 开头");
    } else {
        return true;
    }
    return false;
}

PortMapRow DescribePort(int number, const std::optional<std::string>& entry, const std::string& target)
{
    PortMapRow row;
    row.number = number;
    row.name = PortName(number);
    row.entry = entry;
    row.target = target;
    if (!entry || entry->empty()) {
        row.device = target;
        return row;
    }
    if (!CheckPortTarget(target, row.problem)) {
        row.kind = PortKind::Unparsable;
        return row;
    }
    VirtualTarget parsed;
    std::string unused;
    if (ParseVirtualTarget(target, parsed, unused)) {
        DescribeVirtual(parsed, row);
        return row;
    }
    row.kind = IsNetworkTarget(target) ? PortKind::Network : PortKind::Device;
    row.device = target;
    return row;
}

PortMap::PortMap(const ProfileDocument& config, int count)
{
    const std::vector<std::string> targets = ResolvePortDevices(count, config);
    for (int number = 1; number <= count; ++number) {
        std::optional<std::string> entry;
        if (const auto value = config.Find(kSection, PortName(number))) {
            entry = std::string(*value);
        }
        read_.push_back(entry);
        rows_.push_back(DescribePort(number, entry, targets[static_cast<std::size_t>(number - 1)]));
    }
}

PortMapRow& PortMap::Row(int number) { return rows_.at(static_cast<std::size_t>(number - 1)); }

bool PortMap::Set(int number, const std::string& target, std::string& reason)
{
    if (!CheckPortTarget(target, reason)) {
        return false;
    }
    Row(number) = DescribePort(number, target, target);
    return true;
}

void PortMap::Clear(int number)
{
    Row(number) = DescribePort(number, std::nullopt, ResolvePortDevice(PortName(number), ""));
}

bool PortMap::Changed() const
{
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        if (rows_[index].entry != read_[index]) {
            return true;
        }
    }
    return false;
}

void PortMap::WriteTo(ProfileDocument& config) const
{
    std::vector<ProfileEntry> entries;
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        const PortMapRow& row = rows_[index];
        if (row.entry == read_[index]) {
            continue;
        }
        if (row.entry) {
            entries.emplace_back(row.name, *row.entry);
        } else {
            config.Remove(kSection, row.name);
        }
    }
    if (!entries.empty()) {
        config.Set(kSection, entries);
    }
}
