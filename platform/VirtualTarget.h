#pragma once

#include <string>

// A port the program makes itself rather than opens: "virtual:NAME" is a pseudo-terminal that
// another program opens by a link named NAME, with this program as the device at its other
// end; "monitor:DEVICE,NAME" opens DEVICE (any target but another of these) and passes every
// byte between it and the program on the virtual port NAME.
struct VirtualTarget {
    std::string name;
    std::string device;  // "" for a virtual port, the monitored device's target for a monitor

    bool IsMonitor() const { return !device.empty(); }
    bool operator==(const VirtualTarget&) const = default;
};

// Whether a resolved target names a virtual or monitored port ("virtual:" or "monitor:" in any
// case in front), well formed or not.
bool IsVirtualTarget(const std::string& target);
// Whether it begins with "monitor:" in any case.
bool IsMonitorTarget(const std::string& target);

// NAME is 1 to 64 letters, digits, '-', '_' and '.', and not "." or "..". DEVICE is a device
// path or a network port. On failure `reason` says what is wrong (GBK) and `parsed` is unchanged.
bool ParseVirtualTarget(const std::string& target, VirtualTarget& parsed, std::string& reason);

// "virtual:NAME" or "monitor:DEVICE,NAME".
std::string VirtualTargetText(const VirtualTarget& target);
