#pragma once

#include <map>
#include <string>
#include <vector>

// Where the system describes its serial devices; tests point these at folders of their own.
struct DeviceDirectories {
    std::string byId = "/dev/serial/by-id";
    std::string sysClassTty = "/sys/class/tty";
};

struct DeviceDescription {
    bool present = false;    // a character device is there now
    std::string byIdName;    // the /dev/serial/by-id/ path that names it, if any
    std::string usbProduct;  // the USB product the device belongs to, if any
};

// What the system says about devices at the moment it is made.
class DeviceCatalog {
public:
    explicit DeviceCatalog(DeviceDirectories directories = {});
    DeviceDescription Describe(const std::string& path) const;
    // The serial devices there now, for a user to pick: their by-id names first, in name order,
    // then the device nodes of the tty class that have a device behind them, in name order.
    std::vector<std::string> DetectedDevices() const;

private:
    std::string UsbProductOf(const std::string& devicePath) const;

    DeviceDirectories directories_;
    std::map<std::string, std::string> byIdOf_;  // real device path -> by-id path
};
