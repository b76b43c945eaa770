#include "platform/DeviceWatcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The folder that holds `path`, or its nearest parent that exists.
std::string ExistingFolderOf(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path folder = path.parent_path();
    while (!folder.empty() && !std::filesystem::is_directory(folder, error) && folder != folder.root_path()) {
        folder = folder.parent_path();
    }
    return folder.string();
}

}  // namespace

DeviceWatcher::DeviceWatcher() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

DeviceWatcher::~DeviceWatcher()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::vector<std::string> DeviceWatcher::FoldersToWatch() const
{
    std::set<std::string> folders;
    for (const std::string& text : paths_) {
        const std::filesystem::path path(text);
        if (!path.is_absolute()) {
            continue;
        }
        folders.insert(ExistingFolderOf(path));
        std::error_code error;
        if (std::filesystem::is_symlink(path, error)) {
            const std::filesystem::path target = std::filesystem::read_symlink(path, error);
            if (!error) {
                folders.insert(ExistingFolderOf(target.is_absolute() ? target : path.parent_path() / target));
            }
        }
    }
    folders.erase("");
    return {folders.begin(), folders.end()};
}

void DeviceWatcher::Watch(const std::vector<std::string>& paths)
{
    paths_ = paths;
    if (fd_ < 0) {
        return;
    }
    const std::vector<std::string> wanted = FoldersToWatch();
    for (auto watch = watches_.begin(); watch != watches_.end();) {
        if (std::find(wanted.begin(), wanted.end(), watch->first) == wanted.end()) {
            ::inotify_rm_watch(fd_, watch->second);
            watch = watches_.erase(watch);
        } else {
            ++watch;
        }
    }
    for (const std::string& folder : wanted) {
        // Adding a watch again for the same folder renews it (a folder that was removed and
        // made again is a new one).
        const int watch = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
        if (watch >= 0) {
            watches_[folder] = watch;
        } else {
            watches_.erase(folder);
        }
    }
}

int DeviceWatcher::Descriptor() const { return fd_; }

bool DeviceWatcher::TakeEvents()
{
    if (fd_ < 0) {
        return false;
    }
    alignas(inotify_event) char buffer[16384];
    bool any = false;
    while (::read(fd_, buffer, sizeof buffer) > 0) {
        any = true;
    }
    if (any) {
        Watch(paths_);
    }
    return any;
}

bool DeviceWatcher::DeviceExists(const std::string& path) const
{
    struct stat node {};
    return !path.empty() && ::stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode);
}
