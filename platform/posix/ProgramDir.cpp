#include "platform/ProgramDir.h"

#include <climits>
#include <unistd.h>

std::string ProgramDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    const std::string executable(path, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : executable.substr(0, slash);
}

std::string ProgramFilePath(const std::string& fileName)
{
    std::string directory = ProgramDirectory();
    if (directory.back() != '/') {
        directory += '/';
    }
    return directory + fileName;
}
