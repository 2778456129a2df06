#include "encoder/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace orva {

ByteRing::ByteRing(int capacity)
    : capacity_(std::max(2, capacity)),
      bytes_(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(capacity_)))
{
}

int ByteRing::Available() const
{
    const int difference = writePosition_ - readPosition_;
    return difference >= 0 ? difference : difference + capacity_;
}

bool ByteRing::Write(const void* data, int length)
{
    if (length < 0 || length > Free())
        return false;
    const auto* in = static_cast<const std::uint8_t*>(data);
    const int first = std::min(length, capacity_ - writePosition_);
    std::memcpy(bytes_.get() + writePosition_, in, static_cast<std::size_t>(first));
    std::memcpy(bytes_.get(), in + first, static_cast<std::size_t>(length - first));
    writePosition_ = (writePosition_ + length) % capacity_;
    return true;
}

bool ByteRing::Read(void* data, int length)
{
    if (length < 0 || length > Available())
        return false;
    Take(static_cast<std::uint8_t*>(data), length);
    return true;
}

int ByteRing::ReadSome(void* data, int length)
{
    const int count = std::clamp(length, 0, Available());
    Take(static_cast<std::uint8_t*>(data), count);
    return count;
}

void ByteRing::Take(std::uint8_t* out, int length)
{
    const int first = std::min(length, capacity_ - readPosition_);
    std::memcpy(out, bytes_.get() + readPosition_, static_cast<std::size_t>(first));
    std::memcpy(out + first, bytes_.get(), static_cast<std::size_t>(length - first));
    readPosition_ = (readPosition_ + length) % capacity_;
}

}  // namespace orva
