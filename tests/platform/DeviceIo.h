#pragma once

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/Device.h"

// Moving bytes through a device and its far side the way the port engine does: wait for an
// event, then read or write what the device takes. Written for any device kind and any
// system; DescriptorIo.h adds the far side of a pseudo-terminal.
namespace device_io {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Waits until a wait result satisfies `wanted`; the last result either way.
template <class Device, class Wanted>
WaitResult WaitUntil(Device& device, Wanted wanted, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = Clock::now() + timeout;
    WaitRequest request;
    request.timeoutMs = 50;
    WaitResult result = device.WaitEvent(request);
    while (!wanted(result) && Clock::now() < deadline) {
        result = device.WaitEvent(request);
    }
    return result;
}

// Reads until `count` bytes came, the device hung up with nothing left, or the time-out.
template <class Device>
std::string ReadCount(Device& device, std::size_t count, std::chrono::milliseconds timeout = 10s)
{
    std::string got;
    const auto deadline = Clock::now() + timeout;
    WaitRequest request;
    request.timeoutMs = 50;
    while (got.size() < count && Clock::now() < deadline) {
        const WaitResult result = device.WaitEvent(request);
        char buffer[4096];
        long read = 0;
        while (got.size() < count &&
               (read = device.Read(buffer, std::min(sizeof buffer, count - got.size()))) > 0) {
            got.append(buffer, static_cast<std::size_t>(read));
        }
        if (result.hungUp && read <= 0) {
            break;
        }
    }
    return got;
}

// Writes all of `bytes`, waiting for room; false when the device fails or time runs out.
template <class Device>
bool WriteAll(Device& device, const std::string& bytes, std::chrono::milliseconds timeout = 10s)
{
    std::size_t written = 0;
    const auto deadline = Clock::now() + timeout;
    WaitRequest request;
    request.watchInput = false;
    request.watchOutputRoom = true;
    request.timeoutMs = 50;
    while (written < bytes.size()) {
        const long taken = device.Write(bytes.data() + written, bytes.size() - written);
        if (taken < 0 || Clock::now() > deadline) {
            return false;
        }
        written += static_cast<std::size_t>(taken);
        if (taken == 0) {
            device.WaitEvent(request);
        }
    }
    return true;
}

// Every byte value, then long runs of 0xFF and 0x00, which Telnet must double or keep.
inline std::string HardBytes()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    bytes += std::string(1000, '\xFF') + std::string(1000, '\0') + std::string("\xFF\x00\xFF\xFF\x00\x00", 6);
    bytes += std::string(3, '\xFF');
    return bytes;
}

}  // namespace device_io
