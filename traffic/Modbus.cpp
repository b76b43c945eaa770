#include "traffic/Modbus.h"

#include <algorithm>
#include <cstdio>

#include "traffic/Crc16.h"

namespace {

std::string Hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFU);
    return text;
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFU);
    return text;
}

std::uint16_t Word(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

const char* FunctionName(unsigned function)
{
    switch (function) {
    case 0x01:
        return "读线圈";
    case 0x02:
        return "读离散输入";
    case 0x03:
        return "读保持寄存器";
    case 0x04:
        return "读输入寄存器";
    case 0x05:
        return "写单个线圈";
    case 0x06:
        return "写单个寄存器";
    case 0x0F:
        return "写多个线圈";
    case 0x10:
        return "写多个寄存器";
    case 0x17:
        return "读写多个寄存器";
    default:
        return nullptr;
    }
}

const char* ExceptionName(unsigned code)
{
    switch (code) {
    case 0x01:
        return "非法功能";
    case 0x02:
        return "非法数据地址";
    case 0x03:
        return "非法数据值";
    case 0x04:
        return "从站设备故障";
    case 0x05:
        return "确认";
    case 0x06:
        return "从站设备忙";
    case 0x08:
        return "存储奇偶性差错";
    case 0x0A:
        return "网关路径不可用";
    case 0x0B:
        return "网关目标设备无响应";
    default:
        return "未知异常";
    }
}

// "03 读保持寄存器", or "2B" for a function without a name here.
std::string FunctionLabel(unsigned function)
{
    const char* name = FunctionName(function);
    return Hex2(function) + (name != nullptr ? std::string(" ") + name : std::string());
}

std::string HexBytes(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += (i == 0 ? "" : " ") + Hex2(bytes[i]);
    }
    return text;
}

// "0x006B=0x022B 0x006C=0x0000" from `start` when the addresses are `named`, else "0x022B 0x0000".
std::string Registers(const unsigned char* bytes, std::size_t count, bool named, std::uint16_t start = 0)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "" : " ";
        if (named) {
            text += Hex4(static_cast<unsigned>(start + i)) + "=";
        }
        text += Hex4(Word(bytes + 2 * i));
    }
    return text;
}

// The first `count` bits of the bytes, least significant first, in groups of eight.
std::string Bits(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && i % 8 == 0) {
            text += ' ';
        }
        text += (bytes[i / 8] >> (i % 8) & 1) != 0 ? '1' : '0';
    }
    return text;
}

std::size_t BytesForBits(std::size_t bits) { return (bits + 7) / 8; }

std::string CoilValue(std::uint16_t value)
{
    if (value == 0xFF00) {
        return "ON";
    }
    return value == 0x0000 ? "OFF" : Hex4(value) + " 无效";
}

}  // namespace

std::string ModbusDecoder::Describe(const unsigned char* frame, std::size_t count)
{
    if (count < 4 || count > kMaxFrame) {
        return "非Modbus";
    }
    const unsigned char slave = frame[0];
    const unsigned char function = frame[1];
    CCrc16 crc;
    crc.Compute(frame, count - 2);
    const bool crcRight = crc.H == frame[count - 2] && crc.L == frame[count - 1];
    std::string fields = DescribeBody(slave, function, frame + 2, count - 4);
    if (fields.empty()) {
        if (!crcRight) {
            return "非Modbus";
        }
        fields = FunctionLabel(function);
        if (FunctionName(function) != nullptr || (function & 0x80) != 0) {
            fields += ", 长度不符";
        }
        if (count > 4) {
            fields += ", 数据 " + HexBytes(frame + 2, count - 4);
        }
    }
    std::string text = "Modbus: 从站 " + std::to_string(slave) + (slave == 0 ? " (广播)" : "") + ", " + fields;
    text += crcRight ? "; CRC 正确" : "; CRC 错误 (应为 " + Hex2(crc.H) + " " + Hex2(crc.L) + ")";
    return text;
}

bool ModbusDecoder::AnswersLastRequest(unsigned char slave, unsigned char function) const
{
    return lastRequest_ && lastRequest_->slave == slave && lastRequest_->function == function;
}

// The fields of the frame between function code and CRC; "" when they do not have the layout of
// any form of a function known here.
std::string ModbusDecoder::DescribeBody(unsigned char slave, unsigned char function, const unsigned char* body,
                                        std::size_t size)
{
    if ((function & 0x80) != 0) {
        if (size != 1) {
            return "";
        }
        lastRequest_.reset();
        const unsigned base = function & 0x7FU;
        const char* name = FunctionName(base);
        return Hex2(function) + " 异常 (" + (name != nullptr ? name : "功能 " + Hex2(base)) + "), 异常码 " +
               Hex2(body[0]) + " " + ExceptionName(body[0]);
    }
    const std::string label = FunctionLabel(function);
    const bool answers = AnswersLastRequest(slave, function);
    const Request asked = answers ? *lastRequest_ : Request{};
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04: {
        const bool request = size == 4;
        const bool reply = size >= 1 && size == 1U + body[0];
        const bool registers = function >= 0x03;
        if (request && !(reply && answers)) {
            lastRequest_ = Request{slave, function, Word(body), Word(body + 2), 0};
            return label + " 请求, 起始地址 " + Hex4(Word(body)) + ", 数量 " + std::to_string(Word(body + 2));
        }
        if (!reply) {
            return "";
        }
        lastRequest_.reset();
        const std::size_t byteCount = body[0];
        std::string text = label + " 应答, 字节数 " + std::to_string(byteCount);
        if (registers) {
            if (answers && byteCount != 2U * asked.quantity) {
                text += ", 字节数与请求的数量不符";
            } else if (byteCount % 2 != 0) {
                text += ", 字节数为奇数";
            }
            return text + ", " + Registers(body + 1, byteCount / 2, answers, asked.start);
        }
        std::size_t bits = 8 * byteCount;
        if (answers) {
            if (byteCount != BytesForBits(asked.quantity)) {
                text += ", 字节数与请求的数量不符";
            }
            bits = std::min<std::size_t>(bits, asked.quantity);
            text += ", " + Hex4(asked.start) + " 起";
        }
        return text + ": " + Bits(body + 1, bits);
    }
    case 0x05:
    case 0x06: {
        if (size != 4) {
            return "";
        }
        const std::uint16_t address = Word(body);
        const std::uint16_t value = Word(body + 2);
        const std::string shown = function == 0x05 ? CoilValue(value) : Hex4(value);
        // The reply repeats the request.
        if (answers && asked.start == address && asked.value == value) {
            lastRequest_.reset();
            return label + " 应答, 地址 " + Hex4(address) + ", 值 " + shown;
        }
        lastRequest_ = Request{slave, function, address, 1, value};
        return label + " 请求, 地址 " + Hex4(address) + ", 值 " + shown;
    }
    case 0x0F:
    case 0x10: {
        if (size == 4) {
            lastRequest_.reset();
            return label + " 应答, 起始地址 " + Hex4(Word(body)) + ", 数量 " + std::to_string(Word(body + 2));
        }
        if (size < 5 || size != 5U + body[4]) {
            return "";
        }
        const std::uint16_t start = Word(body);
        const std::uint16_t quantity = Word(body + 2);
        const std::size_t byteCount = body[4];
        lastRequest_ = Request{slave, function, start, quantity, 0};
        std::string text = label + " 请求, 起始地址 " + Hex4(start) + ", 数量 " + std::to_string(quantity) +
                           ", 字节数 " + std::to_string(byteCount);
        const std::size_t expected = function == 0x10 ? 2U * quantity : BytesForBits(quantity);
        if (byteCount != expected) {
            text += ", 字节数与数量不符";
        }
        if (function == 0x10) {
            return text + ", " + Registers(body + 5, byteCount / 2, true, start);
        }
        return text + ": " + Bits(body + 5, std::min<std::size_t>(8 * byteCount, quantity));
    }
    case 0x17: {
        const bool request = size >= 9 && size == 9U + body[8];
        const bool reply = size >= 1 && size == 1U + body[0];
        if (request && !(reply && answers)) {
            const std::uint16_t writeStart = Word(body + 4);
            const std::uint16_t writeQuantity = Word(body + 6);
            const std::size_t byteCount = body[8];
            lastRequest_ = Request{slave, function, Word(body), Word(body + 2), 0};
            std::string text = label + " 请求, 读起始地址 " + Hex4(Word(body)) + ", 读数量 " +
                               std::to_string(Word(body + 2)) + ", 写起始地址 " + Hex4(writeStart) + ", 写数量 " +
                               std::to_string(writeQuantity) + ", 字节数 " + std::to_string(byteCount);
            if (byteCount != 2U * writeQuantity) {
                text += ", 字节数与数量不符";
            }
            return text + ", " + Registers(body + 9, byteCount / 2, true, writeStart);
        }
        if (!reply) {
            return "";
        }
        lastRequest_.reset();
        const std::size_t byteCount = body[0];
        std::string text = label + " 应答, 字节数 " + std::to_string(byteCount);
        if (answers && byteCount != 2U * asked.quantity) {
            text += ", 字节数与请求的数量不符";
        }
        return text + ", " + Registers(body + 1, byteCount / 2, answers, asked.start);
    }
    default:
        return "";
    }
}

std::chrono::milliseconds ModbusFrameGap(const LineSettings& settings)
{
    if (settings.baudRate > 19200 || settings.baudRate == 0) {
        return std::chrono::milliseconds(2);
    }
    // Character times in half bits: start bit, data bits, parity bit and stop bits.
    const unsigned stopHalves = settings.stopBits == StopBits::One ? 2 : settings.stopBits == StopBits::OneAndHalf ? 3 : 4;
    const unsigned halfBits = 2 * (1 + static_cast<unsigned>(settings.dataBits) + (settings.parity == Parity::None ? 0 : 1)) +
                              stopHalves;
    // 3.5 characters = 7 * halfBits / 4 bit times, in milliseconds, rounded up.
    const unsigned long long numerator = 7ULL * halfBits * 1000;
    const unsigned long long denominator = 4ULL * settings.baudRate;
    return std::chrono::milliseconds((numerator + denominator - 1) / denominator);
}
