#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/ProfileDocument.h"

// Private-profile (INI) files of GBK bytes; the format is described in ProfileDocument.h.

// The file read once into memory: an empty document for a missing file, nothing when the file
// exists but cannot be read.
std::optional<ProfileDocument> ReadProfileFile(const std::string& path);

// Writes the document's text over the file in one replacement (ReplaceWholeFile): the file is
// the old or the new one, never a mixture. False when it cannot be written.
bool WriteProfileFile(const std::string& path, const ProfileDocument& document);

// The three calls of one key each, each reading the file once. A missing or unreadable file
// reads as an empty one.

// The key's value read as an integer (ParseDecimalPrefix); `defaultValue` when the file, the
// section or the key is missing or the value is empty.
int GetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue, const std::string& path);

// The key's value, or `defaultValue` when it is missing, cut to bufferSize - 1 bytes (and at a
// zero byte) as a caller's buffer of bufferSize bytes would hold it.
std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path);

// Sets the key, creating file and section when needed and keeping every other byte as it was
// (ProfileDocument::Set), in one replacement of the file. False when the file cannot be read
// or written.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path);
