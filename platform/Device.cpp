#include "platform/Device.h"

#include "platform/MonitorDevice.h"
#include "platform/NetworkDevice.h"
#include "platform/NetworkTarget.h"
#include "platform/SerialDevice.h"
#include "platform/VirtualDevice.h"
#include "platform/VirtualTarget.h"

namespace {

// The monitored device of a "monitor:" target; null when the target is not one.
std::unique_ptr<Device> CreateMonitoredDevice(const std::string& target)
{
    VirtualTarget parsed;
    std::string reason;
    return ParseVirtualTarget(target, parsed, reason) && parsed.IsMonitor() ? CreateDevice(parsed.device) : nullptr;
}

}  // namespace

std::unique_ptr<Device> CreateDevice(const std::string& target)
{
    if (IsNetworkTarget(target)) {
        return std::make_unique<NetworkDevice>();
    }
    if (IsVirtualTarget(target)) {
        if (IsMonitorTarget(target)) {
            return std::make_unique<MonitorDevice>(CreateMonitoredDevice(target));
        }
        return std::make_unique<VirtualDevice>();
    }
    return std::make_unique<SerialDevice>();
}

bool OpeningMayWait(const std::string& target)
{
    VirtualTarget parsed;
    std::string reason;
    if (ParseVirtualTarget(target, parsed, reason)) {
        return parsed.IsMonitor() && OpeningMayWait(parsed.device);
    }
    return IsNetworkTarget(target);
}
