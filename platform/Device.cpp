#include "platform/Device.h"

#include "platform/SerialDevice.h"

std::unique_ptr<Device> CreateDevice(const std::string&)
{
    return std::make_unique<SerialDevice>();
}
