#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "traffic/Clock.h"

// Bytes handed on together with the time they were read from the device.
struct ReceivedPiece {
    std::size_t size = 0;
    ReadTime readAt;
};

// When each piece of a read-ahead buffer was read from the device, so that its bytes can be
// handed on with that time however they are later taken. It follows the buffer in running byte
// counts: Read for every piece committed, Take for every run of bytes taken, Discard when the
// buffer drops what it holds. At most kMaxPieces are kept; beyond that a piece joins the one
// before it (and takes its time), so a device that gives one byte at a time while nobody reads
// cannot grow it without bound.
class ReadPieceTimes {
public:
    static constexpr std::size_t kMaxPieces = 4096;

    void Read(std::size_t size, const ReadTime& readAt);
    // Forgets the next `size` bytes, appending the pieces they were read in to `pieces` unless
    // it is null.
    void Take(std::size_t size, std::vector<ReceivedPiece>* pieces);
    void Discard();
    void Reset();

private:
    struct Piece {
        std::uint64_t end = 0;  // running count of bytes read up to the piece's end
        ReadTime readAt;
    };

    std::deque<Piece> pieces_;
    std::uint64_t read_ = 0;
    std::uint64_t taken_ = 0;
};
