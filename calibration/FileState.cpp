// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileState.h"

namespace carteva {

void ByteHash::Add(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes) {
        value_ ^= byte;
        value_ *= 1099511628211ull;
    }
}

} // namespace carteva
