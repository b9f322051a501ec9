// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/ByteBuffer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace carteva {

// A point's coordinate texts; nothing where the attribute is missing.
struct WaypointText
{
    std::optional<std::string_view> Lat;
    std::optional<std::string_view> Lon;
};

// The track segments and routes of a GPX file, in document order: each a line through its
// points, each point with the texts of its "lat" and "lon" attributes (nothing where one is
// missing). Kept back to back, so that a block of a million points' texts stays small. The
// parser's thread records them so, a block at a time, and another converts the blocks.
class GpxLines
{
public:
    // Room for this many points and bytes of their texts; only a hint, never fails.
    void Reserve(std::size_t points, std::size_t valueBytes) noexcept;
    void StartLine() { lineStarted_ = true; }
    // Adds a point to the line started last. Inline: the parser calls it for every point (see
    // BackgroundBuilder::LinePoint).
    [[gnu::always_inline]] void AddPoint(std::optional<std::string_view> lat,
                                         std::optional<std::string_view> lon)
    {
        const std::uint8_t flags
            = (lineStarted_ ? StartFlag : 0) | (lat ? LatFlag : 0) | (lon ? LonFlag : 0);
        const std::uint32_t begin = values_.size();
        if (lat)
            values_.Append(*lat);
        if (lon)
            values_.Append(*lon);
        points_.push_back({begin, static_cast<std::uint32_t>(lat ? lat->size() : 0),
                           static_cast<std::uint32_t>(lon ? lon->size() : 0), flags});
        lineStarted_ = false;
    }
    // Forgets the points; a line started and not yet given a point stays started.
    void clear()
    {
        points_.clear();
        values_.clear();
    }

    std::size_t PointCount() const { return points_.size(); }
    std::size_t ValueBytes() const { return values_.size(); }
    bool LineStartPending() const { return lineStarted_; }
    WaypointText Point(std::size_t point) const;
    // True for the first point of a line.
    bool StartsLine(std::size_t point) const { return points_[point].Flags & StartFlag; }
    std::size_t MemoryUsed() const { return points_.size() * sizeof(Entry) + values_.size(); }

private:
    static constexpr std::uint8_t StartFlag = 1, LatFlag = 2, LonFlag = 4;
    struct Entry
    {
        std::uint32_t Begin; // the latitude's text, then the longitude's
        std::uint32_t LatLength;
        std::uint32_t LonLength;
        std::uint8_t Flags;
    };

    std::vector<Entry> points_;
    ByteBuffer values_;
    bool lineStarted_ = false; // the next point starts a line
};

} // namespace carteva
