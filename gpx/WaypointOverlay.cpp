#include "gpx/WaypointOverlay.h"

#include "calibration/GeoToPixel.h"
#include "calibration/NumberText.h"

#include <optional>
#include <string_view>

namespace carteva {

namespace {

std::optional<std::string_view> Attribute(const GpxDocument &document, std::size_t child,
                                          std::optional<GpxDocument::NameId> name)
{
    return name ? document.ChildAttribute(child, *name) : std::nullopt;
}

} // namespace

WaypointCounts DrawWaypoints(const GpxDocument &document, std::span<const TCalibPoint> points,
                             PixelSurface &surface, const std::function<void()> &onFirstUnmappable)
{
    WaypointCounts counts;
    const std::optional<GpxDocument::NameId> waypoint = document.FindName("wpt");
    if (!waypoint)
        return counts;
    const std::optional<GpxDocument::NameId> latName = document.FindName("lat");
    const std::optional<GpxDocument::NameId> lonName = document.FindName("lon");
    bool warned = false;

    const std::size_t childCount = document.ChildCount();
    for (std::size_t child = 0; child < childCount; ++child) {
        if (document.ChildNameId(child) != *waypoint)
            continue;
        const std::optional<std::string_view> lat = Attribute(document, child, latName);
        const std::optional<std::string_view> lon = Attribute(document, child, lonName);
        if (!lat || !lon) {
            ++counts.Skipped;
            continue;
        }
        // The document holds UTF-8; the number grammar is ASCII.
        if (!IsDecimalNumber(*lat) || !IsDecimalNumber(*lon)) {
            ++counts.Skipped;
            continue;
        }
        const Extended latitude = ParseDecimal(*lat);
        const Extended longitude = ParseDecimal(*lon);
        const std::optional<Pixel> pixel = GeoToPixel(points, latitude, longitude);
        if (!pixel) {
            ++counts.NotMappable;
            if (!warned) {
                warned = true;
                if (onFirstUnmappable)
                    onFirstUnmappable();
            }
            continue;
        }
        if (surface.SetPixel(pixel->X, pixel->Y, ColourOrange))
            ++counts.Painted;
        else
            ++counts.Outside;
    }
    return counts;
}

} // namespace carteva
