#include "platform/VirtualDevice.h"

#include <cerrno>

// This system has no pseudo-terminals, so neither a virtual port nor a monitor can be made: an
// Open fails as not supported.

std::string VirtualPortFolder() { return {}; }

std::string VirtualPortLink(const std::string& name) { return name; }

VirtualDevice::~VirtualDevice() { Close(); }

bool VirtualDevice::Open(const std::string& /*target*/)
{
    SetOpenError({OpenFailure::Other, ENOTSUP});
    errno = ENOTSUP;
    return false;
}

void VirtualDevice::Close() { SerialDevice::Close(); }

bool VirtualDevice::CheckPresence() { return !IsLost(); }

bool VirtualDevice::SetLineSettings(const LineSettings& /*settings*/) { return true; }
