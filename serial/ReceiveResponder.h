#pragma once

#include <cstddef>
#include <string>

// Answers input on a port's monitor thread, as it is read from the device and before the owner
// has seen it.
class ReceiveResponder {
public:
    virtual ~ReceiveResponder() = default;
    // Called with each piece the monitor thread reads, in order; returns the bytes to write to
    // the device at once, or nothing.
    virtual std::string Respond(const unsigned char* bytes, std::size_t count) = 0;
    // The bytes the calls since the last one returned were handed to the device.
    virtual void Written() {}
};
