#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/LineSettings.h"

// Reads Modbus RTU frames passively, as they pass on the line in either direction, and tells in
// one line of UTF-8 text what each says: slave address, function code and name, the fields of
// the common functions (01-06, 0F, 10, 17 and exception replies) and whether the CRC is right.
// Requests and replies of one function can look alike; a frame is taken for the reply when the
// frame before it was a request of the same slave and function that it answers, and a reply
// names its registers and coils by the addresses that request asked for.
class ModbusDecoder {
public:
    static constexpr std::size_t kMaxFrame = 256;  // address, function, 252 data bytes, CRC

    std::string Describe(const unsigned char* frame, std::size_t count);

private:
    struct Request {
        unsigned char slave;
        unsigned char function;
        std::uint16_t start;
        std::uint16_t quantity;
        std::uint16_t value;  // functions 05 and 06
    };

    std::string DescribeBody(unsigned char slave, unsigned char function, const unsigned char* body, std::size_t size);
    bool AnswersLastRequest(unsigned char slave, unsigned char function) const;

    std::optional<Request> lastRequest_;
};

// The silence that ends a Modbus RTU frame: 3.5 character times at the settings' baud rate, or
// 1.75 ms above 19200 baud, rounded up to whole milliseconds.
std::chrono::milliseconds ModbusFrameGap(const LineSettings& settings);
