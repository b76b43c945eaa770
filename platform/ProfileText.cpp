#include "platform/ProfileText.h"

#include <cstdint>

#include "platform/CodePage.h"

namespace {

unsigned char FoldAscii(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

}  // namespace

bool ProfileNamesEqual(std::string_view left, std::string_view right)
{
    if (left.size() != right.size()) {
        return false;
    }
    std::size_t offset = 0;
    while (offset < left.size()) {
        const std::size_t length = GbkCharLength(left, offset);
        if (length == 2) {
            if (left.substr(offset, 2) != right.substr(offset, 2)) {
                return false;
            }
        } else if (FoldAscii(static_cast<unsigned char>(left[offset])) !=
                   FoldAscii(static_cast<unsigned char>(right[offset]))) {
            return false;
        }
        offset += length;
    }
    return true;
}

int ParseDecimalPrefix(std::string_view value)
{
    std::size_t position = value.find_first_not_of(" \t\r\n\v\f");
    if (position == std::string_view::npos) {
        return 0;
    }
    bool negative = false;
    if (value[position] == '+' || value[position] == '-') {
        negative = value[position] == '-';
        ++position;
    }
    std::uint32_t number = 0;
    for (; position < value.size() && value[position] >= '0' && value[position] <= '9'; ++position) {
        number = number * 10u + static_cast<std::uint32_t>(value[position] - '0');
    }
    if (negative) {
        number = 0u - number;
    }
    return static_cast<int>(number);
}
