#include "serial/PortInventory.h"

#include "platform/PortNames.h"
#include "platform/ProfileFile.h"

std::vector<PortEntry> TakePortInventory(const std::string& configPath, int count, const DeviceDirectories& directories)
{
    const DeviceCatalog catalog(directories);
    const std::vector<std::string> devices =
        ResolvePortDevices(count, ReadProfileFile(configPath).value_or(ProfileDocument()));
    std::vector<PortEntry> entries;
    for (int number = 1; number <= count; ++number) {
        PortEntry entry;
        entry.number = number;
        entry.name = "COM" + std::to_string(number);
        entry.device = devices[static_cast<std::size_t>(number - 1)];
        entry.description = catalog.Describe(entry.device);
        entries.push_back(std::move(entry));
    }
    return entries;
}
