#include "platform/win32/SerialComm.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <windows.h>

#include "platform/win32/Win32Text.h"

namespace {

constexpr DWORD kLongestName = 256;

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

}  // namespace

std::set<std::string> PresentComPorts()
{
    std::set<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[kLongestName];
        wchar_t value[kLongestName];
        DWORD nameLength = kLongestName;
        DWORD valueBytes = sizeof value - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(value), &valueBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_SUCCESS && type == REG_SZ) {
            const std::size_t length = valueBytes / sizeof(wchar_t);
            std::wstring_view text(value, length);
            while (!text.empty() && text.back() == L'\0') {
                text.remove_suffix(1);
            }
            ports.insert(UpperCase(Utf8FromWide(text)));
        }
    }
    ::RegCloseKey(key);
    return ports;
}

std::string ComPortNameOf(const std::string& path)
{
    std::string_view name = path;
    if (name.starts_with("\\\\.\\")) {
        name.remove_prefix(4);
    }
    const std::string upper = UpperCase(std::string(name));
    const bool digits = upper.size() > 3 && std::all_of(upper.begin() + 3, upper.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
    return upper.starts_with("COM") && digits ? upper : std::string();
}
