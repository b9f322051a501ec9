// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <cstdint>

namespace carteva {

// What a load running on another thread tells, and what it is asked: the bytes read so far, and
// whether to stop. A stopped load throws EAbort.
struct LoadProgress
{
    std::atomic<std::uint64_t> BytesRead = 0;
    std::atomic<bool> CancelRequested = false;
};

} // namespace carteva
