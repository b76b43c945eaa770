#include "traffic/SendText.h"

#include "platform/CodePage.h"
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

std::optional<LineEnding> ParseLineEnding(std::string_view name)
{
    constexpr std::pair<std::string_view, LineEnding> kNames[] = {
        {"none", LineEnding::None}, {"CR", LineEnding::Cr}, {"LF", LineEnding::Lf}, {"CRLF", LineEnding::CrLf}};
    for (const auto& [known, ending] : kNames) {
        if (name == known) {
            return ending;
        }
    }
    return std::nullopt;
}

const char* LineEndingName(LineEnding ending)
{
    switch (ending) {
    case LineEnding::Cr:
        return "CR";
    case LineEnding::Lf:
        return "LF";
    case LineEnding::CrLf:
        return "CRLF";
    case LineEnding::None:
        break;
    }
    return "none";
}

namespace {

// The bytes the escapes of `text` stand for; the offset of the first that is no escape.
SendBytes Unescape(const std::string& text)
{
    SendBytes result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A two-byte GBK character is taken whole: its second byte may be the backslash's code.
        if (GbkCharLength(text, i) == 2) {
            result.bytes += text.substr(i, 2);
            ++i;
            continue;
        }
        if (text[i] != '\\') {
            result.bytes += text[i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const std::string_view simple = "rnt\\0";
        const std::string_view bytes("\r\n\t\\\0", 5);
        if (const std::size_t which = simple.find(next); next != '\0' && which != std::string_view::npos) {
            result.bytes += bytes[which];
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && HexDigitValue(text[i + 2]) < 16 &&
                   HexDigitValue(text[i + 3]) < 16) {
            result.bytes += static_cast<char>(HexDigitValue(text[i + 2]) * 16 + HexDigitValue(text[i + 3]));
            i += 3;
        } else {
            return {{}, i};
        }
    }
    return result;
}

}  // namespace

SendBytes BytesToSend(const std::string& text, std::int32_t isHex, const TextSendOptions& options)
{
    if (isHex != 0) {
        return {BytesToSend(text, isHex), std::nullopt};
    }
    SendBytes send = options.escapes ? Unescape(text) : SendBytes{text, std::nullopt};
    if (send.badEscapeAt) {
        return send;
    }
    constexpr const char* kEndings[] = {"", "\r", "\n", "\r\n"};
    send.bytes += kEndings[static_cast<int>(options.lineEnding)];
    return send;
}

HexToggleResult ToggleHexSend(const std::string& sendText, bool hexNowChecked)
{
    if (sendText.empty()) {
        return {sendText, hexNowChecked};
    }
    return hexNowChecked ? TextToHex(sendText) : HexToText(sendText);
}
