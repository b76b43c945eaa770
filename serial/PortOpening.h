#pragma once

#include <string>

#include "platform/Device.h"
#include "serial/PortEngine.h"

// The way the window opens a port: port number and name, then Open, Setup and SetState in
// turn, stopping at the first that fails. A failure of Setup or SetState leaves the port open.
struct PortOpening {
    bool succeeded = false;
    // Which device and why it did not open, in plain words (GBK); "" on success.
    std::string reason;
};
PortOpening OpenNumberedPort(PortEngine& port, int number, const std::string& settings);

// "\\.\COMn" for port n.
std::string PortDeviceName(int number);

// Why the device `target` of port `number` did not open (GBK). An empty target means the
// port has no device.
std::string OpenFailureReason(int number, const std::string& target, const OpenError& error);
