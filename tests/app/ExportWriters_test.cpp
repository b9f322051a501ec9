// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommandLine.h"
#include "app/export/OziMapWriter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace carteva {
namespace {

struct DegreesRow
{
    double lat;
    double lon;
    const char *fields; // degrees, minutes and letter of the latitude, then of the longitude
};

TEST(OziMapWriter, PointLinesCarryWholeDegreesDecimalMinutesAndHemisphereLetters)
{
    const DegreesRow rows[] = {
        {50.5, 14.25, "  50,  30.00000,N,  14,  15.00000,E"},
        // Below one degree the sign lives in the letter alone.
        {-0.5, -0.25, "   0,  30.00000,S,   0,  15.00000,W"},
        {-90, 180, "  90,   0.00000,S, 180,   0.00000,E"},
        // Minutes keep five decimals, never the double product's tail or an exponent.
        {0.1, -0.000001, "   0,   6.00000,N,   0,   0.00006,W"},
        {50.07, 14.0000004, "  50,   4.20000,N,  14,   0.00002,E"},
        // Minutes that round up to 60 carry into the degrees.
        {49.9999999999, -13.9999999999, "  50,   0.00000,N,  14,   0.00000,W"},
    };
    for (const DegreesRow &row : rows) {
        CalibratedMap map;
        map.Points.push_back({1, 7, -3, row.lat, row.lon, 0, 0});
        const std::string text = OziMapWriter::Write(map);
        EXPECT_NE(
            text.find("Point01,xy,    7,   -3,in, deg," + std::string(row.fields) + ", grid,"),
            std::string::npos)
            << row.lat << " " << row.lon << "\n"
            << text.substr(text.find("Point01"), 100);
    }
}

struct UsageRow
{
    std::vector<std::string> arguments;
    ExportCommandLine::Action action;
    ExportFormat format;
    const char *output;
    const char *bitmap;
    std::optional<MappingKind> fit = std::nullopt;
    std::optional<std::string> projection = std::nullopt;
};

TEST(ExportCommandLine, OptionsGoAnywhereAndDoubleDashEndsThem)
{
    using Action = ExportCommandLine::Action;
    const UsageRow rows[] = {
        {{"a.bmp"}, Action::Export, ExportFormat::Vrt, "", "a.bmp"},
        {{"a.bmp", "--format", "text"}, Action::Export, ExportFormat::Text, "", "a.bmp"},
        {{"--output=o.map", "--format=map", "a.bmp"},
         Action::Export,
         ExportFormat::Map,
         "o.map",
         "a.bmp"},
        {{"--format", "map", "--format", "points", "a.bmp"},
         Action::Export,
         ExportFormat::Points,
         "",
         "a.bmp"},
        {{"--", "--odd.bmp"}, Action::Export, ExportFormat::Vrt, "", "--odd.bmp"},
        {{"a.bmp", "--help", "--bogus"}, Action::Help, ExportFormat::Vrt, "", "a.bmp"},
        {{"--format", "report", "a.bmp"}, Action::Export, ExportFormat::Report, "", "a.bmp"},
        {{"a.bmp", "--fit=nearest", "--format", "text"},
         Action::Export,
         ExportFormat::Text,
         "",
         "a.bmp",
         MappingKind::TwoNearest},
        {{"--fit", "best", "--format=report", "a.bmp"},
         Action::Export,
         ExportFormat::Report,
         "",
         "a.bmp",
         MappingKind::BestFit},
        {{"a.bmp", "--format=pixels", "--fit", "nearest"},
         Action::Export,
         ExportFormat::Pixels,
         "",
         "a.bmp",
         MappingKind::TwoNearest},
        {{"--format", "projections", "a.bmp"}, Action::Export, ExportFormat::Projections, "", "a.bmp"},
        {{"a.bmp", "--projection", "EPSG:2056", "--format=pixels"},
         Action::Export,
         ExportFormat::Pixels,
         "",
         "a.bmp",
         std::nullopt,
         "EPSG:2056"},
        {{"--projection=Degrees", "a.bmp"}, Action::Export, ExportFormat::Vrt, "", "a.bmp",
         std::nullopt, "Degrees"},
        {{"a.bmp", "--projection"}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
        {{"--fit", "best", "a.bmp"}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
        {{"--format", "report", "--fit", "worst", "a.bmp"}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
        {{"--format=", "a.bmp"}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
        {{"--format", "VRT", "a.bmp"}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
        {{}, Action::WrongUsage, ExportFormat::Vrt, "", ""},
    };
    for (const UsageRow &row : rows) {
        const ExportCommandLine parsed = ExportCommandLine::Parse(row.arguments);
        const std::string line = row.arguments.empty() ? "" : row.arguments.front() + " ...";
        EXPECT_EQ(parsed.Do, row.action) << line;
        if (parsed.Do == Action::WrongUsage) {
            EXPECT_FALSE(parsed.Problem.empty()) << line;
            continue;
        }
        EXPECT_EQ(parsed.Options.Format, row.format) << line;
        EXPECT_EQ(parsed.Options.Output, row.output) << line;
        EXPECT_EQ(parsed.Options.Bitmap, row.bitmap) << line;
        EXPECT_EQ(parsed.Options.Fit, row.fit) << line;
        EXPECT_EQ(parsed.Options.Projection, row.projection) << line;
    }
}

} // namespace
} // namespace carteva
