#include "traffic/TextDecoder.h"

#include "platform/CodePage.h"
#include "traffic/ReceiveArea.h"

#include <algorithm>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Range of the byte after a UTF-8 lead byte; {1, 0} for a byte that leads nothing.
struct SecondByteRange {
    unsigned char low;
    unsigned char high;
};

SecondByteRange SecondByteAfter(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {0x80, 0xBF};
    }
    switch (lead) {
    case 0xE0:
        return {0xA0, 0xBF};
    case 0xED:
        return {0x80, 0x9F};
    case 0xF0:
        return {0x90, 0xBF};
    case 0xF4:
        return {0x80, 0x8F};
    default:
        break;
    }
    if ((lead >= 0xE1 && lead <= 0xEF) || (lead >= 0xF1 && lead <= 0xF3)) {
        return {0x80, 0xBF};
    }
    return {1, 0};
}

std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

std::string DecodeGbk(std::string_view bytes, std::string& pending)
{
    const std::size_t whole = CompleteCharacterPrefix(bytes, 0);
    const std::string_view complete = bytes.substr(0, whole);
    pending.assign(bytes.substr(whole));
    return IsAscii(complete) ? std::string(complete) : GbkToUtf8(complete);
}

std::string DecodeUtf8(std::string_view bytes, std::string& pending)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t kept = AppendValidUtf8(out, bytes);
    pending.assign(bytes.substr(bytes.size() - kept));
    return out;
}

}  // namespace

std::optional<TextCodec> ParseTextCodec(std::string_view name)
{
    if (name == "GBK") {
        return TextCodec::Gbk;
    }
    if (name == "UTF-8") {
        return TextCodec::Utf8;
    }
    return std::nullopt;
}

const char* TextCodecName(TextCodec codec)
{
    return codec == TextCodec::Utf8 ? "UTF-8" : "GBK";
}

std::string SystemTextIn(std::string_view gbk, TextCodec codec)
{
    return ConvertText(gbk, TextCodec::Gbk, codec);
}

std::string ConvertText(std::string_view text, TextCodec from, TextCodec to)
{
    if (from == to || IsAscii(text)) {
        return std::string(text);
    }
    if (to == TextCodec::Utf8) {
        return GbkToUtf8(text);
    }
    std::string valid;
    if (AppendValidUtf8(valid, text) > 0) {
        valid.append(kReplacement);
    }
    return Utf8ToGbk(valid);
}

std::size_t AppendValidUtf8(std::string& out, std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t asciiEnd = std::find_if(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) -
                                     bytes.begin();
        out.append(bytes.substr(i, asciiEnd - i));
        i = asciiEnd;
        if (i == bytes.size()) {
            break;
        }
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const SecondByteRange second = SecondByteAfter(lead);
        const std::size_t length = SequenceLength(lead);
        std::size_t valid = second.low <= second.high ? 1 : 0;
        while (valid > 0 && valid < length && i + valid < bytes.size()) {
            const auto next = static_cast<unsigned char>(bytes[i + valid]);
            const bool fits = valid == 1 ? next >= second.low && next <= second.high : next >= 0x80 && next <= 0xBF;
            if (!fits) {
                break;
            }
            ++valid;
        }
        if (valid == length) {
            out.append(bytes.substr(i, length));
            i += length;
        } else if (valid > 0 && i + valid == bytes.size()) {
            return valid;
        } else {
            out.append(kReplacement);
            i += std::max<std::size_t>(valid, 1);
        }
    }
    return 0;
}

std::string TextDecoder::Decode(std::string_view bytes)
{
    std::string joined;
    std::string_view input = bytes;
    if (!pending_.empty()) {
        joined = std::move(pending_);
        joined.append(bytes);
        input = joined;
    }
    return codec_ == TextCodec::Utf8 ? DecodeUtf8(input, pending_) : DecodeGbk(input, pending_);
}
