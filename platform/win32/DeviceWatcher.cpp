#include "platform/DeviceWatcher.h"

#include "platform/win32/SerialComm.h"

DeviceWatcher::DeviceWatcher() = default;

DeviceWatcher::~DeviceWatcher() = default;

void DeviceWatcher::Watch(const std::vector<std::string>& paths) { paths_ = paths; }

int DeviceWatcher::Descriptor() const { return fd_; }

bool DeviceWatcher::TakeEvents() { return false; }

bool DeviceWatcher::DeviceExists(const std::string& path) const
{
    const std::string name = ComPortNameOf(path);
    return !name.empty() && PresentComPorts().contains(name);
}
