#include "platform/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <windows.h>
#include <shlobj.h>

#include "platform/win32/Win32Text.h"

namespace {

// The attributes of `path`; INVALID_FILE_ATTRIBUTES when there is nothing there.
DWORD AttributesOf(const std::string& path) { return ::GetFileAttributesW(WideFromUtf8(path).c_str()); }

bool IsSeparator(char character) { return character == '/' || character == '\\'; }

// Where the first folder below the root of `folder` starts: after "C:/", "//server/share/" or "/".
std::size_t FirstFolderOffset(const std::string& folder)
{
    if (folder.size() >= 2 && folder[1] == ':') {
        return folder.size() > 2 && IsSeparator(folder[2]) ? 3 : 2;
    }
    if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        const std::size_t server = folder.find_first_of("/\\", 2);
        const std::size_t share = server == std::string::npos ? server : folder.find_first_of("/\\", server + 1);
        return share == std::string::npos ? folder.size() : share + 1;
    }
    return IsSeparator(folder.front()) ? 1 : 0;
}

}  // namespace

const char* const kConfigHomeVariable = "APPDATA";

bool IsAbsolutePath(const std::string& path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
    return drive || (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

std::string EnvironmentValue(const char* name)
{
    const wchar_t* value = ::_wgetenv(WideFromUtf8(name).c_str());
    return value != nullptr ? Utf8FromWide(value) : std::string();
}

std::string AccountHomeFolder()
{
    PWSTR path = nullptr;
    std::string home;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &path))) {
        home = Utf8FromWide(path);
    }
    ::CoTaskMemFree(path);
    return home;
}

bool IsWritableFolder(const std::string& folder)
{
    if (!IsFolder(folder)) {
        return false;
    }
    // Windows says whether a folder may be written only by trying: a file that is gone when
    // its handle closes.
    std::wstring probe = WideFromUtf8(folder);
    probe += L"\\.serialdebug-write-probe";
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int CreateFolderPath(const std::string& folder)
{
    if (folder.empty()) {
        return ENOENT;
    }
    std::size_t end = FirstFolderOffset(folder);
    while (end < folder.size()) {
        end = folder.find_first_of("/\\", end);
        const std::string step = folder.substr(0, end);
        if (!::CreateDirectoryW(WideFromUtf8(step).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return ErrnoFromLastError();
        }
        end = end == std::string::npos ? end : folder.find_first_not_of("/\\", end);
    }
    return IsFolder(folder) ? 0 : ENOTDIR;
}
