// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <new>

namespace carteva {

// Sets room aside ahead of a load, as a hint only: when there is not that much memory, the
// containers grow as they are filled instead.
template<class Reserve> void ReserveHint(Reserve &&reserve) noexcept
{
    try {
        reserve();
    } catch (const std::bad_alloc &) {
    }
}

} // namespace carteva
