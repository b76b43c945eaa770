#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "traffic/Clock.h"
#include "traffic/DisplayOptions.h"
#include "traffic/FrameText.h"

// The receive area's content as bytes in the display encoding (GBK unless the options say
// otherwise). Every receive notification appends to it and applies the clearing rules here; the
// widget that shows it catches up at display rate.
class ReceiveArea {
public:
    ReceiveArea();

    // Time stamps, frame gap, sent frames and encoding. A change of encoding converts the text
    // already there (and so starts a new generation).
    void SetOptions(const DisplayOptions& options);
    const DisplayOptions& Options() const { return options_; }

    // Appends the display form of every byte (hex "%02X " or the byte as text).
    void AppendBytes(const unsigned char* bytes, std::size_t count, bool hexDisplay);
    // Bytes read from the port at `time`: their display forms, in frames when time stamps are on.
    void AppendReceived(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time);
    // Bytes written to the port at `time`, as a frame of their own when "显示发送" is on;
    // returns whether anything was added.
    bool AppendSent(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time);
    // The same for bytes a monitored port passed on, which come as a stream: see FrameText.
    bool AppendPassedOn(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time);
    // A text of the system (GBK), in the display encoding.
    void AppendText(std::string_view text);
    // A line of the system's (GBK) about the frame before it: on a line of its own.
    void AppendNote(std::string_view note);
    void Clear();

    // After a notification: empties the text when auto-clear is on and it holds more than
    // 5000 bytes, or when it holds 30000 bytes or more. Returns whether it emptied it.
    bool ApplyClearingRules(bool autoClear);

    const std::string& Text() const { return text_; }

    // Where the display forms of received bytes stand in the text (not headers, sent frames or
    // lines of the program's), each in one form, in order.
    struct DataRange {
        std::size_t begin;
        std::size_t end;
        bool hex;
    };
    const std::vector<DataRange>& ReceivedRanges() const { return received_; }
    std::size_t Length() const { return text_.size(); }

    // Changes on every Clear: a view that showed an earlier generation must start again from 0,
    // otherwise it can append Text() from the length it already shows.
    std::uint64_t Generation() const { return generation_; }

    static constexpr std::size_t kAutoClearAbove = 5000;
    static constexpr std::size_t kClearAtOrAbove = 30000;

private:
    DisplayOptions options_;
    FrameText frames_;
    void NoteReceived(std::size_t formsLength, bool hex);

    std::string text_;
    std::vector<DataRange> received_;
    std::uint64_t generation_ = 0;
};

// End of the longest run of whole characters in `text` starting at `from` (a character
// boundary): the result stops before a lead byte that is the last byte, so a double-byte
// character split across two reads is shown only once both halves are there. Returns an offset
// into `text`, at least `from` (clamped to the size).
std::size_t CompleteCharacterPrefix(std::string_view text, std::size_t from);
