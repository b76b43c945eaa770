#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// Bytes read from a device ahead of their owner, in a ring of fixed size. One thread fills it
// (FreeSpace, then Commit), another empties it (Take, Discard); each may run while the other
// does. Size and Room are exact for the thread that calls them and may only grow (Size for
// the emptying thread, Room for the filling one) while it looks.
class ReadAheadBuffer {
public:
    explicit ReadAheadBuffer(std::size_t capacity);

    std::size_t Capacity() const { return capacity_; }
    std::size_t Size() const;
    std::size_t Room() const;

    // Filling side: the free bytes after the last ones committed and `pending` more that are
    // filled but not yet committed, up to the ring's end (empty when it is full); Commit makes
    // the first `count` of them readable.
    std::span<unsigned char> FreeSpace(std::size_t pending);
    void Commit(std::size_t count);

    // Emptying side: copies and removes at most `capacity` bytes, oldest first.
    std::size_t Take(unsigned char* out, std::size_t capacity);
    // Drops every byte committed so far.
    void Discard();

    // Empties the ring while neither side uses it.
    void Reset();

private:
    const std::size_t capacity_;
    std::unique_ptr<unsigned char[]> bytes_;
    // Running counts of bytes committed and taken; their difference is the size.
    std::atomic<std::uint64_t> committed_{0};
    std::atomic<std::uint64_t> taken_{0};
};
