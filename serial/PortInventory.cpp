#include "serial/PortInventory.h"

#include "platform/PortNames.h"
#include "serial/PortOpening.h"

std::vector<PortEntry> TakePortInventory(const std::string& configPath, int count, const DeviceDirectories& directories)
{
    const DeviceCatalog catalog(directories);
    std::vector<PortEntry> entries;
    for (int number = 1; number <= count; ++number) {
        PortEntry entry;
        entry.number = number;
        entry.name = "COM" + std::to_string(number);
        entry.device = ResolvePortDevice(PortDeviceName(number), configPath);
        entry.description = catalog.Describe(entry.device);
        entries.push_back(std::move(entry));
    }
    return entries;
}
