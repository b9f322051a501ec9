// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/GeoPosition.h"

#include <cstddef>
#include <exception>
#include <vector>

namespace carteva {

class GpxLines;

// The positions a GPX file gave, in degrees and document order: its waypoints, or the points of
// its tracks and routes, each line beginning where StartsLine says. A point without both
// coordinates as complete numbers is skipped (and breaks its line there); a floating-point error
// of a conversion ends the list there, kept to be thrown when the list is drawn.
class PositionList
{
public:
    // Converts the points of `texts` (see GpxLines) after those added so far, until an error.
    void Add(const GpxLines &texts);
    // Room for this many points; only a hint, never fails.
    void Reserve(std::size_t points) noexcept;

    std::size_t Count() const { return positions_.size(); }
    const GeoPosition &At(std::size_t i) const { return positions_[i]; }
    // True for the first point of a line, and the first after a skipped point.
    bool StartsLine(std::size_t i) const { return starts_[i]; }
    std::size_t Skipped() const { return skipped_; }
    bool Ended() const { return static_cast<bool>(error_); }
    // Throws the error that ended the list, if one did.
    void RethrowError() const
    {
        if (error_)
            std::rethrow_exception(error_);
    }
    // Bytes of the positions held; room set aside and never used takes none.
    std::size_t MemoryUsed() const
    {
        return positions_.size() * sizeof(GeoPosition) + starts_.size() / 8;
    }

private:
    std::vector<GeoPosition> positions_;
    std::vector<bool> starts_;
    std::size_t skipped_ = 0;
    bool broken_ = true; // the next point starts a line
    std::exception_ptr error_;
};

} // namespace carteva
