#include "traffic/ReceiveArea.h"

#include "platform/CodePage.h"
#include "traffic/Codec.h"

#include <algorithm>

ReceiveArea::ReceiveArea() : frames_(std::chrono::milliseconds(options_.frameGapMs)) {}

void ReceiveArea::SetOptions(const DisplayOptions& options)
{
    if (options.codec != options_.codec) {
        text_ = ConvertText(text_, options_.codec, options.codec);
        received_.clear();
        ++generation_;
        frames_.SetCodec(options.codec);
    }
    frames_.SetTimeStamps(options.timeStamps);
    frames_.SetGap(std::chrono::milliseconds(options.frameGapMs));
    options_ = options;
}

void ReceiveArea::AppendBytes(const unsigned char* bytes, std::size_t count, bool hexDisplay)
{
    AppendDisplayForms(text_, bytes, count, hexDisplay);
}

void ReceiveArea::AppendReceived(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time)
{
    frames_.AppendReceived(text_, bytes, count, hexDisplay, time);
    // The display forms close the text: three characters a byte in hex, one in text but for
    // the zero byte, which shows nothing.
    NoteReceived(hexDisplay ? 3 * count : count - static_cast<std::size_t>(std::count(bytes, bytes + count, 0)),
                 hexDisplay);
}

void ReceiveArea::NoteReceived(std::size_t formsLength, bool hex)
{
    const std::size_t begin = text_.size() - formsLength;
    if (!received_.empty() && received_.back().end == begin && received_.back().hex == hex) {
        received_.back().end = text_.size();
    } else if (formsLength > 0) {
        received_.push_back({begin, text_.size(), hex});
    }
}

bool ReceiveArea::AppendSent(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time)
{
    if (!options_.showSent) {
        return false;
    }
    frames_.AppendSent(text_, bytes, count, hexDisplay, time);
    return true;
}

bool ReceiveArea::AppendPassedOn(const unsigned char* bytes, std::size_t count, bool hexDisplay, const ReadTime& time)
{
    if (!options_.showSent) {
        return false;
    }
    frames_.AppendPassedOn(text_, bytes, count, hexDisplay, time);
    return true;
}

void ReceiveArea::AppendText(std::string_view text)
{
    if (text.empty()) {
        return;
    }
    text_.append(SystemTextIn(text, options_.codec));
    frames_.Interrupt(text_.back() == '\n');
}

void ReceiveArea::AppendNote(std::string_view note)
{
    frames_.AppendNote(text_, SystemTextIn(note, options_.codec));
}

void ReceiveArea::Clear()
{
    text_.clear();
    received_.clear();
    ++generation_;
    frames_.Interrupt(true);
}

bool ReceiveArea::ApplyClearingRules(bool autoClear)
{
    const std::size_t length = Length();
    if ((autoClear && length > kAutoClearAbove) || length >= kClearAtOrAbove) {
        Clear();
        return true;
    }
    return false;
}

std::size_t CompleteCharacterPrefix(std::string_view text, std::size_t from)
{
    std::size_t position = std::min(from, text.size());
    while (position < text.size()) {
        const bool lastByteIsLead = position + 1 == text.size() && IsGbkLeadByte(static_cast<unsigned char>(text[position]));
        if (lastByteIsLead) {
            break;
        }
        position += GbkCharLength(text, position);
    }
    return position;
}
