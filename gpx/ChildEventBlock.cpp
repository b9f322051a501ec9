// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ChildEventBlock.h"

#include "gpx/GpxDocument.h"

#include <algorithm>
#include <cstdint>

namespace carteva {

void ChildEventBlock::Grow(std::size_t moreBytes)
{
    if (attributeCount == attributes.size())
        attributes.resize(2 * attributes.size());
    if (values.size() - valueBytes < moreBytes) {
        if (moreBytes > UINT32_MAX - valueBytes)
            GpxDocument::TooLarge(); // the document could not keep it either
        // Never past what 32-bit offsets reach, so that room always means a valid offset.
        values.resize(
            std::min<std::size_t>(std::max(2 * values.size(), valueBytes + moreBytes), UINT32_MAX));
    }
}

} // namespace carteva
