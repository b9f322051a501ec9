// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Mapping.h"

#include <optional>
#include <span>
#include <string>

namespace carteva {

enum class ExportFormat { Vrt, Map, Points, Text, Report, Pixels, Projections };

struct ExportOptions
{
    ExportFormat Format = ExportFormat::Vrt;
    std::string Output; // empty: beside the bitmap, or standard output for text
    std::string Bitmap;
    // The mapping a report judges and text and pixels map with; not given: best fit for a report
    // and pixels, none for text.
    std::optional<MappingKind> Fit;
    // A projection to use instead of the file beside the calibration ("Degrees": none).
    std::optional<std::string> Projection;
};

// carteva-export [--format vrt|map|points|text|report|pixels|projections] [--fit best|nearest]
// [--projection DEF] [--output FILE] BITMAP,
// also --help and --version.
// Options may come as "--format map" or "--format=map", before or after BITMAP; "--" ends them.
struct ExportCommandLine
{
    enum class Action { Export, Help, Version, WrongUsage };

    Action Do = Action::WrongUsage;
    ExportOptions Options;
    std::string Problem; // what was wrong, for WrongUsage

    static constexpr const char *Usage
        = "Usage: carteva-export [--format vrt|map|points|text|report|pixels|projections]\n"
          "                      [--fit best|nearest] [--projection DEF] [--output FILE] BITMAP\n"
          "Writes the calibration points of BITMAP, kept in its calibration file, for other map "
          "tools.\n"
          "\n"
          "  --format vrt     a GDAL virtual dataset wrapping the bitmap (the default)\n"
          "  --format map     an OziExplorer map file (at most 30 points)\n"
          "  --format points  a QGIS Georeferencer points file\n"
          "  --format text    X, Y, latitude and longitude, tab-separated\n"
          "  --format report  each point's residual under a mapping, and the RMS error\n"
          "  --format pixels  reads \"LAT LON\" lines (decimal degrees) from standard input and\n"
          "                   writes each one's pixel \"X Y\" before rounding, or - and the reason\n"
          "  --format projections\n"
          "                   candidate projections, best first: the held-out RMS and worst\n"
          "                   residual in pixels, the definition for the projection file, the name\n"
          "  --fit best       judge (report) or map (text, pixels) with one transform fitted\n"
          "                   through all points, in the map's projection where one is kept\n"
          "                   beside it (the default for report and pixels)\n"
          "  --fit nearest    the same with the window's mapping between the two nearest points\n"
          "  --projection DEF use this projection (EPSG:2056, a PROJ string, Degrees) instead of\n"
          "                   the projection file beside BITMAP\n"
          "  --output FILE    where to write; by default beside BITMAP, named after it with the\n"
          "                   extension .vrt, .map or .points; text and report go to standard\n"
          "                   output\n"
          "  --help           show this text\n"
          "  --version        show the version\n";

    // `arguments` without the program's name.
    static ExportCommandLine Parse(std::span<const std::string> arguments);
};

} // namespace carteva
