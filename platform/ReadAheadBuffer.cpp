#include "platform/ReadAheadBuffer.h"

#include <algorithm>
#include <cstring>

ReadAheadBuffer::ReadAheadBuffer(std::size_t capacity)
    : capacity_(capacity), bytes_(std::make_unique<unsigned char[]>(capacity))
{
}

std::size_t ReadAheadBuffer::Size() const { return static_cast<std::size_t>(committed_ - taken_); }

std::size_t ReadAheadBuffer::Room() const { return capacity_ - Size(); }

std::span<unsigned char> ReadAheadBuffer::FreeSpace(std::size_t pending)
{
    const std::uint64_t end = committed_ + pending;
    const std::size_t start = static_cast<std::size_t>(end % capacity_);
    const std::size_t room = capacity_ - static_cast<std::size_t>(end - taken_);
    return {bytes_.get() + start, std::min(room, capacity_ - start)};
}

void ReadAheadBuffer::Commit(std::size_t count) { committed_ += count; }

std::size_t ReadAheadBuffer::Take(unsigned char* out, std::size_t capacity)
{
    const std::uint64_t taken = taken_;
    const std::size_t count = std::min(capacity, static_cast<std::size_t>(committed_ - taken));
    if (count == 0) {
        return 0;
    }
    const std::size_t start = static_cast<std::size_t>(taken % capacity_);
    const std::size_t first = std::min(count, capacity_ - start);
    std::memcpy(out, bytes_.get() + start, first);
    std::memcpy(out + first, bytes_.get(), count - first);
    taken_ = taken + count;
    return count;
}

void ReadAheadBuffer::Discard() { taken_ = committed_.load(); }

void ReadAheadBuffer::Reset()
{
    committed_ = 0;
    taken_ = 0;
}
