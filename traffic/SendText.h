#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Room of the send path's parse buffer: 1023 bytes and the zero byte behind them.
constexpr std::size_t kSendBufferSize = 1024;

// The bytes a send of `text` writes. isHex == 0: the text's bytes as they stand. Any other value
// (1 from the check boxes, possibly another number from a scheme file) reads the text as hex,
// at most 1023 bytes.
std::string BytesToSend(const std::string& text, std::int32_t isHex);

// The HEX发送 box was clicked and now shows `hexNowChecked`. Returns the new send text and the
// state the box must end in: to hex, the first 1023 bytes of the text as " 41 42"; back to text,
// the parsed bytes up to the first zero byte, or, when the text holds no hex, the text unchanged
// with the box ticked again. An empty text changes nothing.
struct HexToggleResult {
    std::string text;
    bool hexChecked;
};
HexToggleResult ToggleHexSend(const std::string& sendText, bool hexNowChecked);
