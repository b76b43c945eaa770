#include "app/PortListing.h"

#include <filesystem>
#include <iomanip>
#include <system_error>

#include "platform/PortNames.h"

void PrintPortList(std::ostream& out, const std::string& configPath)
{
    for (int number = 1; number <= kListedPortCount; ++number) {
        const std::string name = "COM" + std::to_string(number);
        const std::string device = ResolvePortDevice(name, configPath);
        std::error_code error;
        const bool present = !device.empty() && std::filesystem::exists(device, error);
        out << std::left << std::setw(7) << name << std::setw(40) << (device.empty() ? "-" : device) << ' '
            << (present ? "present" : "absent") << '\n';
    }
}
