// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Errors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace carteva {

// Bytes back to back, for every text a GPX load keeps. Unlike std::string's, an append within
// the room is a bound check and a copy: a track point makes two, on each of the loader's
// threads. Offsets into it are kept as 32 bits, so it refuses to grow past 4 GiB.
class ByteBuffer
{
public:
    static constexpr std::size_t MaxSize = UINT32_MAX;

    void Reserve(std::size_t room)
    {
        if (room > capacity_)
            Grow(room - size_);
    }
    void Append(std::string_view text)
    {
        if (text.size() > capacity_ - size_) {
            if (text.size() > MaxSize - size_)
                TooLarge();
            Grow(text.size());
        }
        if (!text.empty())
            std::memcpy(data_.get() + size_, text.data(), text.size());
        size_ += text.size();
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(size_); }
    void clear() { size_ = 0; }
    std::string_view View() const { return {data_.get(), size_}; }

    [[noreturn, gnu::cold]] static void TooLarge() { throw Error("The GPX file is too large"); }

private:
    void Grow(std::size_t more)
    {
        const std::size_t capacity = std::max(size_ + more, 2 * capacity_);
        auto data = std::make_unique_for_overwrite<char[]>(capacity); // filled by appending
        if (size_ > 0)
            std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace carteva
