#pragma once

#include <optional>
#include <string>

#include "platform/Device.h"
#include "serial/PortEngine.h"

// The way the window opens a port: port number and name, then Open, Setup and SetState in
// turn, stopping at the first that fails. A failure of Setup or SetState leaves the port open.
// A port whose opening may wait (a network port) is opened in the background: the result is
// pending until WM_COMM_OPENED, and FinishPortOpening gives it then.
struct PortOpening {
    bool succeeded = false;
    bool pending = false;
    // Which device and why it did not open, in plain words (GBK); "" on success.
    std::string reason;
};
PortOpening OpenNumberedPort(PortEngine& port, int number, const std::string& settings);
// The result of the opening that WM_COMM_OPENED announced; nullopt when there is none (it was
// ended, or its result was taken already).
std::optional<PortOpening> FinishPortOpening(PortEngine& port);

// "\\.\COMn" for port n.
std::string PortDeviceName(int number);

// Why the device `target` of port `number` did not open (GBK). An empty target means the
// port has no device.
std::string OpenFailureReason(int number, const std::string& target, const OpenError& error);
