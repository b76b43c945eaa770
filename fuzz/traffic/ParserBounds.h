#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

// The first input byte picks a small capacity, the rest is the hex text. The parse goes into a
// heap block of exactly that capacity, so a write past it is caught by the address sanitizer,
// and must keep the first bytes of an unbounded parse followed by a zero byte.
template <typename Parser>
int CheckParserBounds(Parser parser, const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t capacity = data[0] % 24;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::vector<unsigned char> unbounded(text.size() + 1);
    const std::size_t fullCount = parser(text, unbounded.data(), unbounded.size());

    unsigned char* const bounded = capacity > 0 ? new unsigned char[capacity] : nullptr;
    const std::size_t count = parser(text, bounded, capacity);
    const std::size_t expected = capacity > 0 ? std::min(fullCount, capacity - 1) : 0;
    const bool sound = count == expected && (capacity == 0 || bounded[count] == 0)
        && std::equal(bounded, bounded + count, unbounded.begin());
    delete[] bounded;
    if (!sound) {
        std::abort();
    }
    return 0;
}
