#include "traffic/SendText.h"

#include "traffic/Codec.h"

#include <algorithm>
#include <array>

namespace {

using SendBuffer = std::array<unsigned char, kSendBufferSize>;

HexToggleResult TextToHex(const std::string& sendText)
{
    const std::size_t taken = std::min(sendText.size(), kSendBufferSize - 1);
    std::string hex = BytesToHex(reinterpret_cast<const unsigned char*>(sendText.data()), taken);
    if (hex.empty()) {
        return {sendText, false};
    }
    return {std::move(hex), true};
}

HexToggleResult HexToText(const std::string& sendText)
{
    SendBuffer buffer;
    if (HexToBytes(sendText, buffer.data(), buffer.size()) == 0) {
        return {sendText, true};
    }
    // HexToBytes ends its output with a zero byte, so this stops at the latest behind the bytes.
    return {std::string(reinterpret_cast<const char*>(buffer.data())), false};
}

} // namespace

std::string BytesToSend(const std::string& text, std::int32_t isHex)
{
    if (isHex == 0) {
        return text;
    }
    SendBuffer buffer;
    const std::size_t count = HexToBytes(text, buffer.data(), buffer.size());
    return std::string(reinterpret_cast<const char*>(buffer.data()), count);
}

HexToggleResult ToggleHexSend(const std::string& sendText, bool hexNowChecked)
{
    if (sendText.empty()) {
        return {sendText, hexNowChecked};
    }
    return hexNowChecked ? TextToHex(sendText) : HexToText(sendText);
}
