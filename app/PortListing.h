#pragma once

#include <ostream>
#include <string>

#include "platform/DeviceInfo.h"

// Prints the port list as a table: port name, device, whether it is there now, its
// /dev/serial/by-id/ name, its USB product and, for a virtual or monitored port, the link other
// programs open ("-" where there is none), with the devices resolved through the [Ports] map of
// the settings file at `configPath`. PRESENT reads "network" for a network port, "virtual" for
// a virtual or monitored one and "invalid" for an entry that names none of the kinds of port.
void PrintPortList(std::ostream& out, const std::string& configPath);
void PrintPortList(std::ostream& out, const std::string& configPath, const DeviceDirectories& directories);
