#pragma once

#include <string>
#include <vector>

#include "platform/ProfileDocument.h"

// The device behind a port name "\\.\COMn": the key "COMn" of section "Ports" of the settings
// file at configPath when it is there, else the default table (COM1-10 /dev/ttyUSB0-9,
// COM11-20 /dev/ttyACM0-9, COM21-50 /dev/ttyS0-29); "" when the name is not a port name or
// has no device. Reads the file once.
std::string ResolvePortDevice(const std::string& portName, const std::string& configPath);

// The device of port `number` when section "Ports" names none: on Linux the table above, on
// Windows the port itself ("\\.\COMn"); "" when there is none.
std::string DefaultPortDevice(int number);

// The devices of COM1 to COM`count`, each as ResolvePortDevice gives it, from one pass over the
// settings file's text.
std::vector<std::string> ResolvePortDevices(int count, const ProfileDocument& config);
