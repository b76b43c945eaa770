#include "traffic/FrameText.h"

#include "traffic/Codec.h"

namespace {

// "收←" and "发→" in GBK.
constexpr char kReceivedArrow[] = "\xCA\xD5\xA1\xFB";
constexpr char kSentArrow[] = "\xB7\xA2\xA1\xFA";

std::string TimeHeader(std::chrono::system_clock::time_point time)
{
    return "[" + FormatTimeOfDay(time) + "]";
}

}  // namespace

FrameText::FrameText(std::chrono::milliseconds gap, bool timeStamps, TextCodec codec)
    : splitter_(gap), passedOnSplitter_(gap), timeStamps_(timeStamps)
{
    SetCodec(codec);
}

void FrameText::SetCodec(TextCodec codec)
{
    receivedArrow_ = SystemTextIn(kReceivedArrow, codec);
    sentArrow_ = SystemTextIn(kSentArrow, codec);
}

void FrameText::AppendReceived(std::string& out, const unsigned char* bytes, std::size_t count, bool hex,
                               const ReadTime& time)
{
    if (count == 0) {
        return;
    }
    if (splitter_.Receive(time.monotonic)) {
        frameStart_ = time.wall;
        headerShown_ = false;
    }
    if (timeStamps_) {
        if (!headerShown_) {
            BeginLine(out);
            out += TimeHeader(frameStart_);
            out += receivedArrow_;
            atLineStart_ = false;
            headerShown_ = true;
        }
    } else {
        if (afterSent_) {
            BeginLine(out);
        }
        headerShown_ = false;
    }
    afterSent_ = false;
    passedOnOpen_ = false;
    AppendForms(out, bytes, count, hex);
}

void FrameText::AppendSent(std::string& out, const unsigned char* bytes, std::size_t count, bool hex,
                           const ReadTime& time)
{
    splitter_.Sent();
    BeginLine(out);
    if (timeStamps_) {
        out += TimeHeader(time.wall);
    }
    out += sentArrow_;
    atLineStart_ = false;
    AppendForms(out, bytes, count, hex);
    afterSent_ = true;
    headerShown_ = false;
    passedOnOpen_ = false;
}

void FrameText::AppendPassedOn(std::string& out, const unsigned char* bytes, std::size_t count, bool hex,
                               const ReadTime& time)
{
    if (count == 0) {
        return;
    }
    const bool newFrame = passedOnSplitter_.Receive(time.monotonic) || !passedOnOpen_;
    if (newFrame) {
        AppendSent(out, bytes, count, hex, time);
        passedOnOpen_ = true;
    } else {
        AppendForms(out, bytes, count, hex);
    }
}

void FrameText::Interrupt(bool atLineStart)
{
    atLineStart_ = atLineStart;
    headerShown_ = false;
    passedOnOpen_ = false;
}

void FrameText::EndLine(std::string& out)
{
    BeginLine(out);
}

void FrameText::AppendNote(std::string& out, std::string_view note)
{
    BeginLine(out);
    out += note;
    out += "\r\n";
    Interrupt(true);
}

void FrameText::BeginLine(std::string& out)
{
    if (!atLineStart_) {
        out += "\r\n";
        atLineStart_ = true;
    }
}

void FrameText::AppendForms(std::string& out, const unsigned char* bytes, std::size_t count, bool hex)
{
    const std::size_t before = out.size();
    AppendDisplayForms(out, bytes, count, hex);
    if (out.size() > before) {
        atLineStart_ = out.back() == '\n';
    }
}
