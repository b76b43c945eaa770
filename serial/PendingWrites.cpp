#include "serial/PendingWrites.h"

PendingWrites::PendingWrites(std::size_t capacity) : capacity_(capacity) {}

bool PendingWrites::Push(const unsigned char* bytes, std::size_t count, std::chrono::milliseconds timeout, bool started,
                         Clock::time_point now)
{
    if (count == 0) {
        return true;
    }
    if (count > capacity_ - bytes_) {
        dropped_ += count;
        return false;
    }
    Chunk chunk;
    chunk.bytes.assign(bytes, bytes + count);
    chunk.timeout = timeout;
    if (started && timeout.count() > 0) {
        chunk.deadline = now + timeout;
    }
    chunks_.push_back(std::move(chunk));
    bytes_ += count;
    return true;
}

void PendingWrites::Drain(const WriteFunction& write, Clock::time_point now)
{
    DropOverdue(now);
    while (!chunks_.empty()) {
        Chunk& front = chunks_.front();
        StartFront(now);
        const std::size_t offered = front.bytes.size() - front.offset;
        const long taken = write(front.bytes.data() + front.offset, offered);
        if (taken < 0) {
            dropped_ += bytes_;
            Clear();
            return;
        }
        const auto takenBytes = static_cast<std::size_t>(taken);
        front.offset += takenBytes;
        bytes_ -= takenBytes;
        if (takenBytes < offered) {
            return;
        }
        chunks_.pop_front();
    }
}

void PendingWrites::DropOverdue(Clock::time_point now)
{
    while (!chunks_.empty()) {
        StartFront(now);
        const Chunk& front = chunks_.front();
        if (!front.deadline || *front.deadline > now) {
            return;
        }
        DropFront();
    }
}

std::optional<PendingWrites::Clock::duration> PendingWrites::TimeToDeadline(Clock::time_point now) const
{
    if (chunks_.empty() || !chunks_.front().deadline) {
        return std::nullopt;
    }
    const Clock::time_point deadline = *chunks_.front().deadline;
    return deadline > now ? deadline - now : Clock::duration::zero();
}

void PendingWrites::Clear()
{
    chunks_.clear();
    bytes_ = 0;
}

bool PendingWrites::Empty() const { return chunks_.empty(); }

std::size_t PendingWrites::Bytes() const { return bytes_; }

std::uint64_t PendingWrites::DroppedBytes() const { return dropped_; }

void PendingWrites::StartFront(Clock::time_point now)
{
    Chunk& front = chunks_.front();
    if (!front.deadline && front.timeout.count() > 0) {
        front.deadline = now + front.timeout;
    }
}

void PendingWrites::DropFront()
{
    const std::size_t left = chunks_.front().bytes.size() - chunks_.front().offset;
    dropped_ += left;
    bytes_ -= left;
    chunks_.pop_front();
}
