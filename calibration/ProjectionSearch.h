// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/LongitudeSpan.h"
#include "calibration/ProjectionCatalogue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carteva {

// Finds coordinate systems by the words a sheet's margin prints ("UTM zone 32N", "Swiss grid",
// "Fiji Map Grid") or by code (a bare number is an EPSG code), matched against each system's
// name, its projection's name and its area of use, case and punctuation ignored, not every word
// needed. Systems matching more words come first (rare words weighing more), then those whose
// area holds the points.
class ProjectionSearch
{
public:
    struct Hit
    {
        CatalogueEntry Entry;
        std::size_t Words = 0; // how many of the words it matches
        // The same weighed: a rare word ("swiss") counts more than a common one ("grid"), and a
        // word of the area of use less the more countries the area names.
        double Weight = 0;
        bool CoversPoints = false;
    };

    explicit ProjectionSearch(std::vector<CatalogueEntry> entries);

    std::vector<Hit> Find(std::string_view text, const std::optional<LongitudeSpan> &points) const;

    // "2056" -> "EPSG:2056"; anything else as it stands.
    static std::string CodeOf(std::string_view typed);

private:
    struct Indexed
    {
        CatalogueEntry Entry;
        std::vector<std::string> Words; // of the code, the name and the projection's name
        std::vector<std::string> AreaWords;
    };
    std::vector<Indexed> entries_;
};

} // namespace carteva
