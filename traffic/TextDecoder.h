#pragma once

#include <optional>
#include <string>
#include <string_view>

// The encodings the text view can read received bytes in.
enum class TextCodec { Gbk, Utf8 };

// "GBK" and "UTF-8", the names kept in the settings file; anything else gives nothing.
std::optional<TextCodec> ParseTextCodec(std::string_view name);
const char* TextCodecName(TextCodec codec);

// A text of the system (GBK bytes) in `codec`.
std::string SystemTextIn(std::string_view gbk, TextCodec codec);

// Converts text from one codec to the other; what the target cannot hold becomes U+FFFD in
// UTF-8 and '?' in GBK.
std::string ConvertText(std::string_view text, TextCodec from, TextCodec to);

// Turns bytes of one encoding, arriving in pieces, into UTF-8. A character whose bytes are not
// all there yet is kept and completed by the next piece, so a character split between two reads
// comes out whole; a sequence that is no character comes out as U+FFFD, never dropped.
class TextDecoder {
public:
    explicit TextDecoder(TextCodec codec = TextCodec::Gbk) : codec_(codec) {}

    std::string Decode(std::string_view bytes);
    // Forgets a kept partial character (the text it belonged to is gone).
    void Reset() { pending_.clear(); }
    TextCodec Codec() const { return codec_; }

private:
    TextCodec codec_;
    std::string pending_;
};

// Appends the UTF-8 of `bytes` to `out`: well-formed sequences as they are, every maximal
// ill-formed part as U+FFFD. Returns how many bytes at the end were left out because they begin
// a sequence that the following bytes may still complete.
std::size_t AppendValidUtf8(std::string& out, std::string_view bytes);
