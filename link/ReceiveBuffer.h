// The reply bytes a main form collects for the link thread. The form's data handler appends in
// the GUI thread; the link thread takes everything after its reply wait. Both happen under one
// lock, so bytes arriving during a take are neither lost nor written over the bytes being taken.
#pragma once

#include <cstdint>
#include <mutex>

class ReceiveBuffer {
public:
    static constexpr std::int32_t Capacity = 512;

    // Appends as many of the bytes as still fit and drops the rest; returns the count held
    // afterwards.
    std::int32_t Append(const std::uint8_t* data, std::int32_t count);

    // Copies the held bytes to dest (room for Capacity bytes), empties the buffer and returns
    // how many were copied.
    std::int32_t Take(std::uint8_t* dest);

    std::int32_t Count() const;

    // Copies the first count stored bytes (at most Capacity) whether or not they are still
    // held: the byte view lists the last reply after the link thread has taken it.
    void CopyStored(std::uint8_t* dest, std::int32_t count) const;

private:
    mutable std::mutex m_;
    std::uint8_t bytes_[Capacity] = {};
    std::int32_t count_ = 0;
};
