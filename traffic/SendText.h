#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Room of the send path's parse buffer: 1023 bytes and the zero byte behind them.
constexpr std::size_t kSendBufferSize = 1024;

// The bytes a send of `text` writes. isHex == 0: the text's bytes as they stand. Any other value
// (1 from the check boxes, possibly another number from a scheme file) reads the text as hex,
// at most 1023 bytes.
std::string BytesToSend(const std::string& text, std::int32_t isHex);

// What a text send appends to its text ("行尾"): nothing, as always, CR, LF or CR LF.
enum class LineEnding { None, Cr, Lf, CrLf };
// "none", "CR", "LF" and "CRLF", the names kept in the settings file; anything else gives nothing.
std::optional<LineEnding> ParseLineEnding(std::string_view name);
const char* LineEndingName(LineEnding ending);

// How text sends of the user's routes (by hand, auto-send, the send list and its cycle) are made
// into bytes: with "转义字符", \r \n \t \\ \0 and \xHH stand for their bytes; the line ending
// follows. Hex sends take neither.
struct TextSendOptions {
    bool escapes = false;
    LineEnding lineEnding = LineEnding::None;
};

// The bytes of a send with the options; `badEscapeAt` is the offset in `text` of an escape that
// is not one of those above (a lone "\" at the end, "\x" without two hex digits), and then
// nothing is to be sent.
struct SendBytes {
    std::string bytes;
    std::optional<std::size_t> badEscapeAt;
};
SendBytes BytesToSend(const std::string& text, std::int32_t isHex, const TextSendOptions& options);

// The HEX发送 box was clicked and now shows `hexNowChecked`. Returns the new send text and the
// state the box must end in: to hex, the first 1023 bytes of the text as " 41 42"; back to text,
// the parsed bytes up to the first zero byte, or, when the text holds no hex, the text unchanged
// with the box ticked again. An empty text changes nothing.
struct HexToggleResult {
    std::string text;
    bool hexChecked;
};
HexToggleResult ToggleHexSend(const std::string& sendText, bool hexNowChecked);
