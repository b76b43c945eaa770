#include "platform/DeviceInfo.h"

#include "platform/win32/SerialComm.h"

// Windows has no by-id names and no USB product in the port list here: a port is described by
// whether the system lists it now.
DeviceCatalog::DeviceCatalog(DeviceDirectories directories) : directories_(std::move(directories)) {}

DeviceDescription DeviceCatalog::Describe(const std::string& path) const
{
    DeviceDescription description;
    const std::string name = ComPortNameOf(path);
    description.present = !name.empty() && PresentComPorts().contains(name);
    return description;
}

std::vector<std::string> DeviceCatalog::DetectedDevices() const
{
    const auto ports = PresentComPorts();
    return {ports.begin(), ports.end()};
}
