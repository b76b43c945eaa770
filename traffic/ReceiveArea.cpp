#include "traffic/ReceiveArea.h"

#include "platform/CodePage.h"
#include "traffic/Codec.h"

#include <algorithm>

void ReceiveArea::AppendBytes(const unsigned char* bytes, std::size_t count, bool hexDisplay)
{
    AppendDisplayForms(text_, bytes, count, hexDisplay);
}

void ReceiveArea::AppendText(std::string_view text) { text_.append(text); }

void ReceiveArea::Clear()
{
    text_.clear();
    ++generation_;
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
