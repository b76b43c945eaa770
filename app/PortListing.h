#pragma once

#include <ostream>
#include <string>

#include "platform/DeviceInfo.h"

// Prints the port list as a table: port name, device, whether it is there now, its
// /dev/serial/by-id/ name and its USB product ("-" where there is none), with the devices
// resolved through the [Ports] map of the settings file at `configPath`.
void PrintPortList(std::ostream& out, const std::string& configPath);
void PrintPortList(std::ostream& out, const std::string& configPath, const DeviceDirectories& directories);
