// Feeds arbitrary settings text to the line-settings parser: it must never fail, and refused
// text must leave the settings unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/LineSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    LineSettings settings;
    const LineSettings before = settings;
    if (!BuildLineSettings(text, settings)) {
        if (!(settings == before)) {
            std::abort();
        }
        return 0;
    }
    if (settings.baudRate == 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        std::abort();
    }
    return 0;
}
