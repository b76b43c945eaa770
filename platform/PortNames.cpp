#include "platform/PortNames.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kSection = "Ports";
constexpr std::size_t kDevicePathBuffer = 4096;
constexpr std::size_t kMostDigits = 9;

// The n of "COMn" (any case letters, one to nine digits); 0 for any other name.
int NumberAfterCom(std::string_view name)
{
    if (name.size() < 4 || name.size() > 3 + kMostDigits || !ProfileNamesEqual(name.substr(0, 3), "COM")) {
        return 0;
    }
    int number = 0;
    for (const char digit : name.substr(3)) {
        if (digit < '0' || digit > '9') {
            return 0;
        }
        number = number * 10 + (digit - '0');
    }
    return number;
}

// The n of "\\.\COMn" or "COMn"; 0 when the name is neither.
int PortNumberOf(std::string_view name)
{
    if (name.starts_with(kDevicePrefix)) {
        name.remove_prefix(kDevicePrefix.size());
    }
    return NumberAfterCom(name);
}

// The n of a key of section "Ports" that the lookup of "COMn" finds: n is written without
// leading zeros there.
int PortNumberOfKey(std::string_view key) { return key.size() > 3 && key[3] == '0' ? 0 : NumberAfterCom(key); }

// The device a value of section "Ports" maps port `number` to: the value as the profile string
// read gives it, the default device when it is empty or missing.
std::string MappedDevice(int number, std::optional<std::string_view> value)
{
    std::string mapped = value ? ProfileStringValue(*value, kDevicePathBuffer) : std::string();
    return mapped.empty() ? DefaultPortDevice(number) : mapped;
}

}  // namespace

std::string ResolvePortDevice(const std::string& portName, const std::string& configPath)
{
    const int number = PortNumberOf(portName);
    if (number <= 0) {
        return {};
    }
    if (configPath.empty()) {
        return DefaultPortDevice(number);
    }
    const ProfileDocument config = ReadProfileFile(configPath).value_or(ProfileDocument());
    return MappedDevice(number, config.Find(kSection, "COM" + std::to_string(number)));
}

std::vector<std::string> ResolvePortDevices(int count, const ProfileDocument& config)
{
    std::vector<std::optional<std::string_view>> values(static_cast<std::size_t>(std::max(count, 0)));
    config.ForEachKey(kSection, [&](std::string_view key, std::string_view value) {
        const int number = PortNumberOfKey(key);
        if (number >= 1 && number <= count && !values[static_cast<std::size_t>(number - 1)]) {
            values[static_cast<std::size_t>(number - 1)] = value;
        }
    });
    std::vector<std::string> devices;
    for (std::size_t index = 0; index < values.size(); ++index) {
        devices.push_back(MappedDevice(static_cast<int>(index) + 1, values[index]));
    }
    return devices;
}
