#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "traffic/Clock.h"
#include "traffic/FrameSplitter.h"
#include "traffic/TextDecoder.h"

// Writes received and sent bytes as the text of a protocol view, in the display form of each
// byte (hex "%02X " or the byte itself):
// - with time stamps, every frame of received bytes begins on a new line with
//   "[HH:MM:SS.mmm]收←", the time at which its first bytes were read;
// - a sent frame begins on a new line with "[HH:MM:SS.mmm]发→", or "发→" without time stamps,
//   and the received bytes after it begin on a new line;
// - without time stamps and without sent frames the text is the display forms alone.
// Line breaks are CR LF; the arrows are in the text's codec.
class FrameText {
public:
    explicit FrameText(std::chrono::milliseconds gap, bool timeStamps = false, TextCodec codec = TextCodec::Gbk);

    void SetTimeStamps(bool timeStamps) { timeStamps_ = timeStamps; }
    void SetGap(std::chrono::milliseconds gap)
    {
        splitter_.SetGap(gap);
        passedOnSplitter_.SetGap(gap);
    }
    void SetCodec(TextCodec codec);

    void AppendReceived(std::string& out, const unsigned char* bytes, std::size_t count, bool hex,
                        const ReadTime& time);
    void AppendSent(std::string& out, const unsigned char* bytes, std::size_t count, bool hex, const ReadTime& time);
    // Sent bytes that arrive as a stream (what a monitored port passed on): a sent frame that
    // goes on while its pieces come within the gap and nothing else comes between.
    void AppendPassedOn(std::string& out, const unsigned char* bytes, std::size_t count, bool hex,
                        const ReadTime& time);

    // Something other than frame bytes now stands at the end of the text, or the text was
    // emptied: `atLineStart` tells whether the text now ends a line. The open frame shows its
    // header (with its own time) again before its next bytes.
    void Interrupt(bool atLineStart);
    // Ends the line of the last frame, for a text that ends here.
    void EndLine(std::string& out);
    // A line about the frame before it (in the text's codec), on a line of its own.
    void AppendNote(std::string& out, std::string_view note);

private:
    void BeginLine(std::string& out);
    void AppendForms(std::string& out, const unsigned char* bytes, std::size_t count, bool hex);

    FrameSplitter splitter_;
    FrameSplitter passedOnSplitter_;
    bool passedOnOpen_ = false;  // the last frame is a passed-on one that may go on
    bool timeStamps_;
    std::string receivedArrow_;
    std::string sentArrow_;
    std::chrono::system_clock::time_point frameStart_;
    bool headerShown_ = false;
    bool afterSent_ = false;
    bool atLineStart_ = true;
};
