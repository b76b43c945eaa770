#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

// Open descriptors and threads of this process, as /proc shows them: leak checks compare the
// counts before and after many cycles.
inline std::size_t ProcEntryCount(const char* directory)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

inline std::size_t OpenDescriptorCount() { return ProcEntryCount("/proc/self/fd"); }

inline std::size_t ThreadCount() { return ProcEntryCount("/proc/self/task"); }

// The resident memory of this process, in kilobytes.
inline long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}
