#include "platform/DeviceInfo.h"

#include <sys/stat.h>

#include <filesystem>
#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Levels above a tty's device folder where its USB device (the one with a "product") may be:
// the interface, then the device.
constexpr int kUsbLevels = 4;

std::string RealPath(const std::string& path)
{
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    return error ? std::string() : real.string();
}

std::string FirstLineOf(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

DeviceCatalog::DeviceCatalog(DeviceDirectories directories) : directories_(std::move(directories))
{
    std::error_code error;
    for (fs::directory_iterator entry(directories_.byId, error), end; !error && entry != end; entry.increment(error)) {
        const std::string real = RealPath(entry->path().string());
        if (!real.empty()) {
            byIdOf_.emplace(real, entry->path().string());
        }
    }
}

DeviceDescription DeviceCatalog::Describe(const std::string& path) const
{
    DeviceDescription description;
    struct stat node {};
    description.present = !path.empty() && ::stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode);
    if (!description.present) {
        return description;
    }
    const std::string real = RealPath(path);
    if (fs::path(path).parent_path() == fs::path(directories_.byId)) {
        description.byIdName = path;
    } else if (const auto found = byIdOf_.find(real); found != byIdOf_.end()) {
        description.byIdName = found->second;
    }
    description.usbProduct = UsbProductOf(real);
    return description;
}

std::vector<std::string> DeviceCatalog::DetectedDevices() const
{
    std::vector<std::string> byIdNames;
    for (const auto& [real, byId] : byIdOf_) {
        byIdNames.push_back(byId);
    }
    std::sort(byIdNames.begin(), byIdNames.end());
    std::vector<std::string> nodes;
    std::error_code error;
    for (fs::directory_iterator entry(directories_.sysClassTty, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code missing;
        const std::string node = "/dev/" + entry->path().filename().string();
        if (fs::exists(entry->path() / "device", missing) && Describe(node).present) {
            nodes.push_back(node);
        }
    }
    std::sort(nodes.begin(), nodes.end());
    byIdNames.insert(byIdNames.end(), nodes.begin(), nodes.end());
    return byIdNames;
}

std::string DeviceCatalog::UsbProductOf(const std::string& devicePath) const
{
    std::error_code error;
    const fs::path deviceLink = fs::path(directories_.sysClassTty) / fs::path(devicePath).filename() / "device";
    fs::path folder = fs::canonical(deviceLink, error);
    for (int level = 0; !error && level < kUsbLevels && folder.has_relative_path(); ++level) {
        std::error_code missing;
        if (fs::is_regular_file(folder / "product", missing)) {
            return FirstLineOf(folder / "product");
        }
        folder = folder.parent_path();
    }
    return {};
}
