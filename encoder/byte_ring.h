#pragma once
// A byte ring of fixed capacity: copies go in and out in one or two pieces, wrapping at the
// end of the storage. It holds at most capacity - 1 bytes (a full ring never looks empty).
// Not locked: its owner serialises the calls.

#include <cstdint>
#include <memory>

namespace orva {

class ByteRing {
public:
    /// A ring of `capacity` bytes (2 or more), empty.
    explicit ByteRing(int capacity);

    /// Bytes ready to be read.
    int Available() const;
    /// Bytes that can still be written.
    int Free() const { return capacity_ - 1 - Available(); }
    /// Drops whatever is held.
    void Clear() { readPosition_ = writePosition_ = 0; }

    /// Copies all `length` bytes in when they fit (length <= Free()); false and nothing
    /// written otherwise.
    bool Write(const void* data, int length);
    /// Copies exactly `length` bytes out when that many are there; false and nothing taken
    /// otherwise.
    bool Read(void* data, int length);
    /// Copies up to `length` bytes out; returns how many.
    int ReadSome(void* data, int length);

private:
    /// Copies `length` bytes from the read position on (no checks) and moves past them.
    void Take(std::uint8_t* out, int length);

    int capacity_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    int readPosition_ = 0;
    int writePosition_ = 0;
};

}  // namespace orva
