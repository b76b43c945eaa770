#include "platform/Device.h"

#include "platform/NetworkDevice.h"
#include "platform/NetworkTarget.h"
#include "platform/SerialDevice.h"

std::unique_ptr<Device> CreateDevice(const std::string& target)
{
    if (IsNetworkTarget(target)) {
        return std::make_unique<NetworkDevice>();
    }
    return std::make_unique<SerialDevice>();
}

bool OpeningMayWait(const std::string& target) { return IsNetworkTarget(target); }
