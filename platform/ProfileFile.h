#pragma once

#include <cstddef>
#include <string>

// Private-profile (INI) files of GBK bytes; the file format is described in ProfileText.h.
// A missing or unreadable file reads as an empty one.

// The key's value read as an integer (ParseDecimalPrefix); `defaultValue` when the file, the
// section or the key is missing or the value is empty.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue, const std::string& path);

// The key's value, or `defaultValue` when it is missing, cut to bufferSize - 1 bytes (and at a
// zero byte) as a caller's buffer of bufferSize bytes would hold it.
std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path);

// Sets the key, creating file and section when needed and keeping every other line as it was.
// The new file is written beside the old one and renamed over it, so the file is either the
// old or the new one, never a mixture. False when the file cannot be read or written.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path);
