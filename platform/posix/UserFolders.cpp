#include "platform/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const char* const kConfigHomeVariable = "XDG_CONFIG_HOME";

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string AccountHomeFolder()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

bool IsWritableFolder(const std::string& folder)
{
    return IsFolder(folder) && ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsFolder(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

int CreateFolderPath(const std::string& folder)
{
    if (folder.empty()) {
        return ENOENT;
    }
    std::size_t end = folder.find_first_not_of('/');
    while (end != std::string::npos) {
        end = folder.find('/', end);
        const std::string step = folder.substr(0, end);
        if (::mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        end = folder.find_first_not_of('/', end);
    }
    return IsFolder(folder) ? 0 : ENOTDIR;
}
