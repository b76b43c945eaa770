#pragma once

#include <string>
#include <vector>

#include "platform/DeviceInfo.h"

// One entry of the port list and what stands behind it now.
struct PortEntry {
    int number = 0;
    std::string name;    // "COMn"
    std::string device;  // the resolved device; "" when the port has none
    DeviceDescription description;
};

constexpr int kListedPorts = 50;

// Ports 1 to `count` with their devices, resolved through the [Ports] map of `configPath`
// (read once).
std::vector<PortEntry> TakePortInventory(const std::string& configPath, int count = kListedPorts,
                                         const DeviceDirectories& directories = {});
