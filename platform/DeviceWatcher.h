#pragma once

#include <map>
#include <string>
#include <vector>

// Whether a device node is there now.
class DevicePresence {
public:
    virtual ~DevicePresence() = default;
    virtual bool DeviceExists(const std::string& path) const = 0;
};

// Tells when device nodes come and go, without ever waking by itself: it watches the folders
// of the given paths (inotify). A folder that does not exist yet (/dev/serial/by-id before the
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
    std::vector<std::string> FoldersToWatch() const;

    int fd_ = -1;
    std::vector<std::string> paths_;
    std::map<std::string, int> watches_;  // folder -> watch descriptor
};
