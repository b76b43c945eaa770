// Feeds arbitrary text to the network address parser: it must never fail, a refusal must say
// why and leave the result alone, and what it takes must be a usable address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/NetworkTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const NetworkTarget untouched{NetworkProtocol::Rfc2217, "untouched", 7};
    NetworkTarget target = untouched;
    std::string reason;
    if (!ParseNetworkTarget(text, target, reason)) {
        if (reason.empty() || !(target == untouched)) {
            std::abort();
        }
        return 0;
    }
    if (!IsNetworkTarget(text) || target.host.empty() || target.port == 0 ||
        target.host.find_first_of("/@ \t\r\n") != std::string::npos) {
        std::abort();
    }
    return 0;
}
