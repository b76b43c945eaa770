#pragma once

#include <cstddef>
#include <string>

// A Config.ini of about `megabytes` MB (a few lines for 0) that maps COM3 to `com3Device` and
// opens it. [Setting] holds Port and BordRate, then a long run of keys of no meaning with
// values of `padding` bytes more than their number, then HexSend and SendData; the other four
// keys are missing, so every read of one of them walks the whole file. [Ports] stands last.
inline std::string LargeConfig(std::size_t megabytes, const std::string& com3Device, std::size_t padding = 0)
{
    std::string text = "; settings\r\n[Setting]\r\nPort=2\r\nBordRate=115200,n,8,1\r\n";
    const std::size_t size = megabytes << 20;
    text.reserve(size + 256);
    for (std::size_t number = 0; text.size() < size; ++number) {
        text += "Other" + std::to_string(number) + "=value " + std::string(padding, '.') + std::to_string(number) + "\r\n";
    }
    text += "HexSend=1\r\nSendData=hello\r\n\r\n[Ports]\r\nCOM3=" + com3Device + "\r\n";
    return text;
}
