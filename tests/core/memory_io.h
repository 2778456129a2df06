#pragma once
// A byte source and sink in memory for the core's tests and the fuzzer, with the failures a
// disk can have.

#include "core/byte_io.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orva {

/// Reads from a byte range owned by the caller; optionally fails at a given offset.
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t length) : data_(data), length_(length) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    long long Read(void* buffer, size_t byteCount) override
    {
        const size_t n = std::min(byteCount, length_ - std::min(position_, length_));
        if (failFrom_ < length_ && position_ + std::max<size_t>(n, 1) > failFrom_)
            return -1;
        if (n > 0)
            std::memcpy(buffer, data_ + position_, n);
        if ((reinterpret_cast<uintptr_t>(buffer) - position_) % 64 != 0)
            ++misplacedReads_;
        position_ += n;
        return static_cast<long long>(n);
    }
    /// Reads into memory not placed as the bytes lie in a file read from its start: 64-byte
    /// aligned at a multiple of 64, and so on (copies from the page cache are faster so).
    size_t MisplacedReads() const { return misplacedReads_; }
    /// Every read that would deliver the byte at this offset or a later one fails (for tests
    /// of read errors); reads that end before it succeed.
    void FailFrom(size_t offset) { failFrom_ = offset; }

private:
    const uint8_t* data_;
    size_t length_;
    size_t position_ = 0;
    size_t failFrom_ = SIZE_MAX;
    size_t misplacedReads_ = 0;
};

/// Collects the output in memory; can be told to fail once a size limit is exceeded
/// (a full disk) or to fail on close (an error that shows only when flushed).
class MemorySink final : public ByteSink {
public:
    bool Write(const void* buffer, size_t byteCount) override
    {
        if (position_ + byteCount > limit_)
            return false;
        written_ += byteCount;
        if (discard_) {
            position_ += byteCount;
            return true;
        }
        if (bytes_.size() < position_ + byteCount)
            bytes_.resize(position_ + byteCount);
        if (byteCount > 0)
            std::memcpy(bytes_.data() + position_, buffer, byteCount);
        position_ += byteCount;
        return true;
    }
    bool Seek(uint64_t offset) override
    {
        position_ = static_cast<size_t>(offset);
        return true;
    }
    bool Close() override { return !failOnClose_; }

    std::vector<uint8_t>& Bytes() { return bytes_; }
    void LimitTo(size_t byteCount) { limit_ = byteCount; }
    void FailOnClose() { failOnClose_ = true; }
    /// Counts bytes without keeping them (for huge outputs in fuzzing).
    void DiscardBytes() { discard_ = true; }
    uint64_t WrittenCount() const { return written_; }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    size_t limit_ = SIZE_MAX;
    uint64_t written_ = 0;
    bool failOnClose_ = false;
    bool discard_ = false;
};

}  // namespace orva
