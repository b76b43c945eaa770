#include "serial/ReadPieceTimes.h"

#include <algorithm>

void ReadPieceTimes::Read(std::size_t size, const ReadTime& readAt)
{
    if (size == 0) {
        return;
    }
    read_ += size;
    if (pieces_.size() == kMaxPieces) {
        pieces_.back().end = read_;
        return;
    }
    pieces_.push_back({read_, readAt});
}

void ReadPieceTimes::Take(std::size_t size, std::vector<ReceivedPiece>* pieces)
{
    const std::uint64_t end = std::min(taken_ + size, read_);
    while (taken_ < end) {
        const Piece& piece = pieces_.front();
        const std::uint64_t upTo = std::min(piece.end, end);
        if (pieces != nullptr) {
            pieces->push_back({static_cast<std::size_t>(upTo - taken_), piece.readAt});
        }
        taken_ = upTo;
        if (taken_ == piece.end) {
            pieces_.pop_front();
        }
    }
}

void ReadPieceTimes::Discard()
{
    pieces_.clear();
    taken_ = read_;
}

void ReadPieceTimes::Reset()
{
    pieces_.clear();
    read_ = 0;
    taken_ = 0;
}
