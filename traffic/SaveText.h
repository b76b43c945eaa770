#pragma once

#include <string>

// Writes `text` to `path` byte for byte (line breaks stay as they are) with ReplaceWholeFile
// (platform/WholeFile.h): a failure never leaves a partly written file, and an existing file
// keeps its content and permissions until the new one is complete. An existing file that may
// not be written is refused, as opening it would be. Returns "" on success, else the system's
// reason.
std::string SaveReceivedText(const std::string& path, const std::string& text);
