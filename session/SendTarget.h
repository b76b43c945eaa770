#pragma once

#include <cstdint>
#include <string>

// Where the windows that send on their own (the send list, its cycle) hand their data: the
// terminal they belong to.
class SendTarget {
public:
    virtual ~SendTarget() = default;
    // Sends `text` as SendString does: hex text parsed when isHex is not 0.
    virtual bool SendString(std::string text, std::int32_t isHex) = 0;
    virtual bool IsPortOpen() const = 0;
};
