#include "gpx/WaypointOverlay.h"

#include "calibration/GeoToPixel.h"
#include "calibration/NumberText.h"

#include <optional>
#include <string>
#include <string_view>

namespace carteva {

namespace {

// The document holds UTF-8 (always valid: it comes from the parser); the number conversions
// take UTF-16. The buffer only ever grows, so after the first waypoints this allocates and
// clears nothing.
std::u16string_view Widen(std::string_view utf8, std::u16string &buffer)
{
    if (buffer.size() < utf8.size())
        buffer.resize(utf8.size()); // never more units than bytes
    char16_t *out = buffer.data();
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out[n++] = lead;
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
    }
    return {out, n};
}

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
    std::u16string latBuffer;
    std::u16string lonBuffer;
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
        const std::u16string_view latText = Widen(*lat, latBuffer);
        const std::u16string_view lonText = Widen(*lon, lonBuffer);
        if (!IsDecimalNumber(latText) || !IsDecimalNumber(lonText)) {
            ++counts.Skipped;
            continue;
        }
        const Extended latitude = ParseDecimal(latText);
        const Extended longitude = ParseDecimal(lonText);
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
