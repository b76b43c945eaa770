#include "platform/ProgramDir.h"

#include <vector>
#include <windows.h>

#include "platform/win32/Win32Text.h"

namespace {

constexpr DWORD kLongestPath = 32768;

// The executable's path with '/' between folders, as the rest of the program writes paths.
std::string ExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size() || buffer.size() >= kLongestPath) {
            std::string path = Utf8FromWide(std::wstring_view(buffer.data(), length));
            for (char& character : path) {
                character = character == '\\' ? '/' : character;
            }
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string ProgramDirectory()
{
    const std::string executable = ExecutablePath();
    const std::size_t slash = executable.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    // "C:/serialdebug.exe" is in "C:/", whose separator stays.
    return slash == 2 && executable[1] == ':' ? executable.substr(0, 3) : executable.substr(0, slash);
}

std::string ProgramFilePath(const std::string& fileName)
{
    std::string directory = ProgramDirectory();
    if (directory.back() != '/') {
        directory += '/';
    }
    return directory + fileName;
}
