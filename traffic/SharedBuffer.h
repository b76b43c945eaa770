#pragma once

#include <mutex>
#include <vector>

// A mutex with explicit Lock and Unlock. Close marks it as closed and tells whether it was open;
// the underlying mutex lives as long as the object, so a late Lock after Close is still safe.
class CSimpleMutex {
public:
    void Lock();
    void Unlock();
    // 1 the first time, 0 when it was already closed.
    int Close();

private:
    std::mutex mutex_;
    bool open_ = true;
};

// A byte buffer whose every operation holds its mutex for its whole duration, so it may be
// filled and read from different threads.
class CSharedBuffer {
public:
    CSharedBuffer() = default;
    ~CSharedBuffer();
    CSharedBuffer(const CSharedBuffer&) = delete;
    CSharedBuffer& operator=(const CSharedBuffer&) = delete;

    // Adds the bytes at the end; nothing for null bytes or a count of 0 or less. Throws
    // std::length_error when the size would no longer fit a 32-bit count.
    void Append(const unsigned char* bytes, int count);
    int GetSize();
    // Zeroes the first n bytes of `dest`, copies the smaller of n and the size from the start of
    // the buffer and returns that number. The buffer is unchanged.
    int CopyTo(unsigned char* dest, int n);
    // Empties the buffer and releases its memory.
    void Clear();

private:
    class Hold;

    std::vector<unsigned char> data_;
    CSimpleMutex lock_;
};
