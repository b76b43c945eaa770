#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "traffic/Codec.h"
#include "traffic/Crc16.h"
#include "traffic/Modbus.h"

namespace {

// The frame of hex text with its CRC appended (or the text's bytes alone, for frames that must
// not have one).
std::vector<unsigned char> Frame(const std::string& hex, bool withCrc = true)
{
    std::vector<unsigned char> bytes(hex.size() / 2 + 2);
    bytes.resize(HexPairsToBytes(hex, bytes.data(), bytes.size()));
    if (withCrc) {
        const std::vector<unsigned char> crc = Crc16Bytes(bytes.data(), bytes.size());
        bytes.insert(bytes.end(), crc.begin(), crc.end());
    }
    return bytes;
}

struct Exchange {
    const char* name;
    std::vector<std::string> frames;  // hex without CRC, read by one decoder in turn
    std::vector<std::string> notes;   // the description of each, less "Modbus: " and "; CRC 正确"
};

std::string Fields(const std::string& note)
{
    const std::string head = "Modbus: ";
    const std::string tail = "; CRC 正确";
    if (note.rfind(head, 0) != 0 || note.size() < head.size() + tail.size() ||
        note.compare(note.size() - tail.size(), tail.size(), tail) != 0) {
        return "not a described frame with a right CRC: " + note;
    }
    return note.substr(head.size(), note.size() - head.size() - tail.size());
}

}  // namespace

// Requests and replies of every common function, each reply read in the light of its request.
TEST(ModbusDecoder, DescribesTheFieldsOfEveryCommonFunction)
{
    const std::vector<Exchange> exchanges = {
        {"read holding registers",
         {"1103006B0003", "1103060AE10000007F"},
         {"从站 17, 03 读保持寄存器 请求, 起始地址 0x006B, 数量 3",
          "从站 17, 03 读保持寄存器 应答, 字节数 6, 0x006B=0x0AE1 0x006C=0x0000 0x006D=0x007F"}},
        {"read input registers", {"010400080001", "0104020064"},
         {"从站 1, 04 读输入寄存器 请求, 起始地址 0x0008, 数量 1", "从站 1, 04 读输入寄存器 应答, 字节数 2, 0x0008=0x0064"}},
        {"read coils: only the bits asked for",
         {"010100130013", "010103CD6B05"},
         {"从站 1, 01 读线圈 请求, 起始地址 0x0013, 数量 19",
          "从站 1, 01 读线圈 应答, 字节数 3, 0x0013 起: 10110011 11010110 101"}},
        {"read discrete inputs, a three-byte reply that has a request's length",
         {"020200C40016", "020203ACDB35"},
         {"从站 2, 02 读离散输入 请求, 起始地址 0x00C4, 数量 22",
          "从站 2, 02 读离散输入 应答, 字节数 3, 0x00C4 起: 00110101 11011011 101011"}},
        {"write single coil, echoed",
         {"010500ACFF00", "010500ACFF00", "010500AC0000"},
         {"从站 1, 05 写单个线圈 请求, 地址 0x00AC, 值 ON", "从站 1, 05 写单个线圈 应答, 地址 0x00AC, 值 ON",
          "从站 1, 05 写单个线圈 请求, 地址 0x00AC, 值 OFF"}},
        {"write single register", {"010600010003", "010600010003"},
         {"从站 1, 06 写单个寄存器 请求, 地址 0x0001, 值 0x0003", "从站 1, 06 写单个寄存器 应答, 地址 0x0001, 值 0x0003"}},
        {"write multiple coils",
         {"010F0013000A02CD01", "010F0013000A"},
         {"从站 1, 0F 写多个线圈 请求, 起始地址 0x0013, 数量 10, 字节数 2: 10110011 10",
          "从站 1, 0F 写多个线圈 应答, 起始地址 0x0013, 数量 10"}},
        {"write multiple registers",
         {"01100001000204000A0102", "011000010002"},
         {"从站 1, 10 写多个寄存器 请求, 起始地址 0x0001, 数量 2, 字节数 4, 0x0001=0x000A 0x0002=0x0102",
          "从站 1, 10 写多个寄存器 应答, 起始地址 0x0001, 数量 2"}},
        {"read/write multiple registers",
         {"011700030006000E00030600FF00FF00FF", "01170C00FE0ACD00010003000D00FF"},
         {"从站 1, 17 读写多个寄存器 请求, 读起始地址 0x0003, 读数量 6, 写起始地址 0x000E, 写数量 3, 字节数 6, "
          "0x000E=0x00FF 0x000F=0x00FF 0x0010=0x00FF",
          "从站 1, 17 读写多个寄存器 应答, 字节数 12, 0x0003=0x00FE 0x0004=0x0ACD 0x0005=0x0001 0x0006=0x0003 "
          "0x0007=0x000D 0x0008=0x00FF"}},
        {"exception replies", {"018302", "01AB01", "000600010003"},
         {"从站 1, 83 异常 (读保持寄存器), 异常码 02 非法数据地址", "从站 1, AB 异常 (功能 2B), 异常码 01 非法功能",
          "从站 0 (广播), 06 写单个寄存器 请求, 地址 0x0001, 值 0x0003"}},
        {"disagreeing counts are said and what is there is shown",
         {"010300000002", "010306000100020003", "01100000000203000102"},
         {"从站 1, 03 读保持寄存器 请求, 起始地址 0x0000, 数量 2",
          "从站 1, 03 读保持寄存器 应答, 字节数 6, 字节数与请求的数量不符, 0x0000=0x0001 0x0001=0x0002 0x0002=0x0003",
          "从站 1, 10 写多个寄存器 请求, 起始地址 0x0000, 数量 2, 字节数 3, 字节数与数量不符, 0x0000=0x0001"}},
        {"a reply without its request names no addresses", {"01030400010002"},
         {"从站 1, 03 读保持寄存器 应答, 字节数 4, 0x0001 0x0002"}},
        {"other functions and broken layouts of known ones", {"012B0E0100", "0180", "01030001"},
         {"从站 1, 2B, 数据 0E 01 00", "从站 1, 80, 长度不符", "从站 1, 03 读保持寄存器, 长度不符, 数据 00 01"}},
    };
    for (const Exchange& exchange : exchanges) {
        SCOPED_TRACE(exchange.name);
        ModbusDecoder decoder;
        ASSERT_EQ(exchange.frames.size(), exchange.notes.size());
        for (std::size_t i = 0; i < exchange.frames.size(); ++i) {
            const std::vector<unsigned char> frame = Frame(exchange.frames[i]);
            EXPECT_EQ(Fields(decoder.Describe(frame.data(), frame.size())), exchange.notes[i]) << exchange.frames[i];
        }
    }
}

// A wrong CRC is named with the right one when the frame has a Modbus layout; a frame that has
// neither, or is too short or too long for Modbus, is "非Modbus".
TEST(ModbusDecoder, WrongChecksAndFramesThatAreNotModbus)
{
    ModbusDecoder decoder;
    std::vector<unsigned char> corrupted = Frame("1103006B0003");
    corrupted.back() ^= 0xFF;
    const std::vector<unsigned char> right = Frame("1103006B0003");
    char expected[64];
    std::snprintf(expected, sizeof expected, "; CRC 错误 (应为 %02X %02X)", right[6], right[7]);
    const std::string note = decoder.Describe(corrupted.data(), corrupted.size());
    EXPECT_EQ(note, std::string("Modbus: 从站 17, 03 读保持寄存器 请求, 起始地址 0x006B, 数量 3") + expected);

    const std::vector<std::vector<unsigned char>> notModbus = {
        Frame("01", false),
        Frame("010203", false),
        Frame("68656C6C6F0D0A", false),  // "hello\r\n"
        Frame(std::string(300 * 2, 'A')),
        Frame(std::string(255 * 2, '0')),  // 257 bytes: one more than a frame holds
    };
    for (const std::vector<unsigned char>& frame : notModbus) {
        EXPECT_EQ(decoder.Describe(frame.data(), frame.size()), "非Modbus") << frame.size();
    }
    // The longest frame there can be is still read.
    const std::vector<unsigned char> longest = Frame("012B" + std::string(252 * 2, '0'));
    ASSERT_EQ(longest.size(), ModbusDecoder::kMaxFrame);
    EXPECT_NE(decoder.Describe(longest.data(), longest.size()), "非Modbus");
}

TEST(ModbusDecoder, TheFrameGapIsThreeAndAHalfCharactersAndFixedAboveNineteenThousandTwoHundredBaud)
{
    struct Case {
        unsigned baud;
        Parity parity;
        StopBits stop;
        long long gapMs;
    };
    const Case cases[] = {
        {9600, Parity::None, StopBits::One, 4},     // 10 bits: 3.65 ms
        {9600, Parity::Even, StopBits::One, 5},     // 11 bits: 4.01 ms
        {1200, Parity::None, StopBits::Two, 33},    // 11 bits: 32.1 ms
        {19200, Parity::None, StopBits::One, 2},    // 1.82 ms
        {38400, Parity::Even, StopBits::Two, 2},    // 1.75 ms
        {115200, Parity::None, StopBits::One, 2},
    };
    for (const Case& c : cases) {
        LineSettings settings;
        settings.baudRate = c.baud;
        settings.parity = c.parity;
        settings.stopBits = c.stop;
        EXPECT_EQ(ModbusFrameGap(settings).count(), c.gapMs) << c.baud;
    }
}
