#pragma once

#include <filesystem>
#include <string>

// The program's paths are UTF-8. std::filesystem takes a plain string in the system's narrow
// encoding, which on Windows is not UTF-8; from char8_t it takes UTF-8 everywhere.
inline std::filesystem::path PathFromUtf8(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path)
{
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}
