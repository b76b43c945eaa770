#include "traffic/SharedBuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

void CSimpleMutex::Lock() { mutex_.lock(); }

void CSimpleMutex::Unlock() { mutex_.unlock(); }

int CSimpleMutex::Close()
{
    std::lock_guard<std::mutex> guard(mutex_);
    const bool wasOpen = open_;
    open_ = false;
    return wasOpen ? 1 : 0;
}

// Holds the buffer's mutex for the lifetime of one operation.
class CSharedBuffer::Hold {
public:
    explicit Hold(CSimpleMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~Hold() { mutex_.Unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    CSimpleMutex& mutex_;
};

CSharedBuffer::~CSharedBuffer() { lock_.Close(); }

void CSharedBuffer::Append(const unsigned char* bytes, int count)
{
    if (bytes == nullptr || count <= 0) {
        return;
    }
    Hold hold(lock_);
    if (data_.size() > static_cast<std::size_t>(INT_MAX - count)) {
        throw std::length_error("receive buffer would exceed a 32-bit size");
    }
    data_.insert(data_.end(), bytes, bytes + count);
}

int CSharedBuffer::GetSize()
{
    Hold hold(lock_);
    return static_cast<int>(data_.size());
}

int CSharedBuffer::CopyTo(unsigned char* dest, int n)
{
    if (dest == nullptr || n <= 0) {
        return 0;
    }
    std::memset(dest, 0, static_cast<std::size_t>(n));
    Hold hold(lock_);
    const std::size_t copied = std::min(static_cast<std::size_t>(n), data_.size());
    std::copy_n(data_.begin(), copied, dest);
    return static_cast<int>(copied);
}

void CSharedBuffer::Clear()
{
    Hold hold(lock_);
    std::vector<unsigned char>().swap(data_);
}
