#pragma once

#include <ostream>
#include <string>

// The port list offers COM1 to this.
inline constexpr int kListedPortCount = 50;

// Writes one line for each of COM1 to COM50: the name, the device it resolves to with the
// settings file at configPath (its "Ports" section, else the default table) and whether that
// device is present, e.g. "COM3   /dev/ttyUSB2   present".
void PrintPortList(std::ostream& out, const std::string& configPath);
