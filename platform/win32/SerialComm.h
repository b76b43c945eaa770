#pragma once

#include <set>
#include <string>

// The names of the COM ports the system has now ("COM1", "COM7"), as the drivers list them in
// the registry key HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM; upper case.
std::set<std::string> PresentComPorts();

// "COM7" for "\\.\COM7", "\\.\com7" or "COM7"; "" for a path that names no COM port.
std::string ComPortNameOf(const std::string& path);

// Where the drivers list their ports.
constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
