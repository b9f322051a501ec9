// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/PositionList.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "gpx/GpxLines.h"
#include "gpx/ReserveHint.h"

namespace carteva {

void PositionList::Add(const GpxLines &texts)
{
    for (std::size_t i = 0; i < texts.PointCount() && !Ended(); ++i) {
        if (texts.StartsLine(i))
            broken_ = true;
        const WaypointText point = texts.Point(i);
        // The number grammar is ASCII: the UTF-8 text is read as it stands.
        if (!point.Lat || !point.Lon || !IsDecimalNumber(*point.Lat)
            || !IsDecimalNumber(*point.Lon)) {
            ++skipped_;
            broken_ = true;
            continue;
        }
        try {
            // The latitude first: its error is the one reported when both would fail.
            const Extended lat = ParseDecimal(*point.Lat);
            const Extended lon = ParseDecimal(*point.Lon);
            positions_.push_back({lat, lon});
            starts_.push_back(broken_);
            broken_ = false;
        } catch (const Error &) {
            error_ = std::current_exception();
        }
    }
}

void PositionList::Reserve(std::size_t points) noexcept
{
    ReserveHint([&] {
        positions_.reserve(points);
        starts_.reserve(points);
    });
}

} // namespace carteva
