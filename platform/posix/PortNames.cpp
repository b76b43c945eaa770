#include "platform/PortNames.h"

#include <string_view>

#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::size_t kDevicePathBuffer = 4096;

// The n of "\\.\COMn" or "COMn"; 0 when the name is neither.
int PortNumberOf(std::string_view name)
{
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.size() < 4 || !ProfileNamesEqual(name.substr(0, 3), "COM") || name.size() > 3 + 9) {
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

std::string DefaultDevice(int number)
{
    if (number >= 1 && number <= 10) {
        return "/dev/ttyUSB" + std::to_string(number - 1);
    }
    if (number >= 11 && number <= 20) {
        return "/dev/ttyACM" + std::to_string(number - 11);
    }
    if (number >= 21 && number <= 50) {
        return "/dev/ttyS" + std::to_string(number - 21);
    }
    return {};
}

}  // namespace

std::string ResolvePortDevice(const std::string& portName, const std::string& configPath)
{
    const int number = PortNumberOf(portName);
    if (number <= 0) {
        return {};
    }
    if (!configPath.empty()) {
        const std::string key = "COM" + std::to_string(number);
        std::string mapped = GetPrivateProfileString("Ports", key, "", kDevicePathBuffer, configPath);
        if (!mapped.empty()) {
            return mapped;
        }
    }
    return DefaultDevice(number);
}
