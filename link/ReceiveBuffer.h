// The reply bytes a main form collects for the link thread. The form's data handler appends in
// the GUI thread; the link thread takes everything after its reply wait. Both happen under one
// lock, so bytes arriving during a take are neither lost nor written over the bytes being taken.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>

class ReceiveBuffer {
public:
    static constexpr std::int32_t Capacity = 512;

    // Appends as many of the bytes as still fit and drops the rest; returns the count held
    // afterwards.
    std::int32_t Append(const std::uint8_t* data, std::int32_t count);

    // Appends what `get` (a port's GetBlock) gives through `scratch`, until it gives nothing or
    // `limit` bytes came: all that a port holds at the call, so that no byte of it is left to
    // be put in front of a later reply. Returns the count held afterwards.
    template <class Get>
    std::int32_t AppendFrom(Get&& get, std::uint8_t (&scratch)[Capacity], std::uint32_t limit) {
        while (limit > 0) {
            const std::uint32_t n = get(scratch, std::min<std::uint32_t>(limit, Capacity));
            if (n == 0) break;
            Append(scratch, static_cast<std::int32_t>(n));
            limit -= std::min(limit, n);
        }
        return Count();
    }

    // Copies the held bytes to dest (room for Capacity bytes), empties the buffer and returns
    // how many were copied.
    std::int32_t Take(std::uint8_t* dest);

    std::int32_t Count() const;

    // Empties the buffer; the stored bytes stay for CopyStored.
    void Clear();

    // Copies the first count stored bytes (at most Capacity) whether or not they are still
    // held: the byte view lists the last reply after the link thread has taken it.
    void CopyStored(std::uint8_t* dest, std::int32_t count) const;

private:
    mutable std::mutex m_;
    std::uint8_t bytes_[Capacity] = {};
    std::int32_t count_ = 0;
};
