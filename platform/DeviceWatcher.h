#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

// Whether a device node is there now.
class DevicePresence {
public:
    virtual ~DevicePresence() = default;
    virtual bool DeviceExists(const std::string& path) const = 0;
};

// Tells when device nodes come and go, without ever waking by itself: on Linux it watches the
// folders of the given paths (inotify); on Windows the registry key where the drivers list their
// COM ports (RegNotifyChangeKeyValue), and Descriptor() is a socket. A folder that does not exist yet (/dev/serial/by-id before the
// first adapter) is watched through its nearest existing parent until it appears, and a
// symbolic link's target folder is watched too. The owner reads the events when Descriptor()
// becomes readable.
class DeviceWatcher : public DevicePresence {
public:
    DeviceWatcher();
    ~DeviceWatcher() override;
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Watches the folders of `paths` from now on, in place of those watched before.
    void Watch(const std::vector<std::string>& paths);
    // Readable when events wait; -1 when the system offers no watching.
    int Descriptor() const;
    // Reads every event that waits and renews the watches (folders may have come or gone);
    // returns whether there was any.
    bool TakeEvents();
    // A character device is at `path` (links followed).
    bool DeviceExists(const std::string& path) const override;

private:
#ifdef _WIN32
    // The registry watch, its thread and the socket pair it signals through.
    struct RegistryWatch;
    std::unique_ptr<RegistryWatch> registry_;
#else
    std::vector<std::string> FoldersToWatch() const;

    int fd_ = -1;
    std::map<std::string, int> watches_;  // folder -> watch descriptor
#endif
    std::vector<std::string> paths_;
};
