#include "link/ReceiveBuffer.h"

#include <algorithm>
#include <cstring>

std::int32_t ReceiveBuffer::Append(const std::uint8_t* data, std::int32_t count) {
    std::lock_guard lock(m_);
    const std::int32_t room = Capacity - count_;
    const std::int32_t n = std::clamp(count, 0, room);
    if (n > 0) std::memcpy(bytes_ + count_, data, static_cast<std::size_t>(n));
    count_ += n;
    return count_;
}

std::int32_t ReceiveBuffer::Take(std::uint8_t* dest) {
    std::lock_guard lock(m_);
    const std::int32_t n = count_;
    if (n > 0) std::memcpy(dest, bytes_, static_cast<std::size_t>(n));
    count_ = 0;
    return n;
}

std::int32_t ReceiveBuffer::Count() const {
    std::lock_guard lock(m_);
    return count_;
}

void ReceiveBuffer::Clear() {
    std::lock_guard lock(m_);
    count_ = 0;
}

void ReceiveBuffer::CopyStored(std::uint8_t* dest, std::int32_t count) const {
    std::lock_guard lock(m_);
    const std::int32_t n = std::clamp(count, 0, Capacity);
    if (n > 0) std::memcpy(dest, bytes_, static_cast<std::size_t>(n));
}
