// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ResidualReportWriter.h"

#include "app/export/PointLayout.h"
#include "app/export/ShortestText.h"
#include "app/export/VrtWriter.h"
#include "calibration/NumberText.h"
#include "calibration/Residuals.h"
#include "calibration/Utf.h"

#include <vector>

namespace carteva {

namespace {

std::string Description(MappingKind kind, const ResidualReport &report)
{
    if (kind == MappingKind::TwoNearest)
        return "# Mapping: between the two nearest points, each axis on its own; each point is "
               "mapped with the other points alone\n";
    return "# Mapping: best fit through all points" + (report.Model.empty() ? "" : ": " + report.Model)
        + "; a similarity transform with two, else a least-squares affine transform or a "
          "polynomial, whichever predicts the points left out best\n";
}

// The projection the fit works in, and the GDAL order that reproduces a polynomial fit.
std::string FitLines(const CalibratedMap &map, MappingKind kind)
{
    std::string text;
    if (map.Projection && kind == MappingKind::BestFit)
        text += "# Projection: " + map.Projection->OneLine() + "\n";
    if (const std::string order = VrtWriter::GdalOrderNote(map); !order.empty())
        text += "# " + order + "\n";
    return text;
}

std::string RmsLine(const ResidualReport &report, std::size_t count)
{
    if (report.RmsPixels && report.RmsMetres)
        return "# RMS error: " + FixedText(*report.RmsPixels, 3) + " px, "
            + FixedText(*report.RmsMetres, 2) + " m\n";
    if (report.Kind == MappingKind::TwoNearest)
        return count < 3 ? "# RMS error: none; leaving one point out needs three points\n"
                         : "# RMS error: none\n";
    if (count == 2)
        return "# RMS error: none; a similarity transform fits two points exactly\n";
    const std::size_t parameters = report.Model.rfind("affine", 0) == 0 ? 6
        : report.Model.rfind("quadratic", 0) == 0                      ? 12
                                                                        : 20;
    const std::string name = report.Model.substr(0, report.Model.find(','));
    return "# RMS error: none; " + std::string(parameters == 6 ? "an " : "a ") + name
        + (parameters == 6 ? " transform" : " fit") + " needs more than "
        + std::to_string(parameters) + " points for it\n";
}

} // namespace

std::string ResidualReportWriter::Write(const CalibratedMap &map, MappingKind kind)
{
    const std::vector<TCalibPoint> points = CalibPointsOf(map);
    const ResidualReport report = ComputeResiduals(map.SetupFor(kind), points);

    std::string text = Description(kind, report) + FitLines(map, kind);
    text += "# record\tX\tY\tlatitude\tlongitude\tdX\tdY\tresidual px\tresidual m\tsuspect\n";
    for (std::size_t i = 0; i < points.size(); ++i) {
        const ExportPoint &point = map.Points[i];
        const PointResidual &residual = report.Points[i];
        text += std::to_string(point.Record) + "\t" + ToUtf8(FormatInteger(point.X)) + "\t"
            + ToUtf8(FormatInteger(point.Y)) + "\t" + ToUtf8(FormatCoordinate(6, point.ExactLat))
            + "\t" + ToUtf8(FormatCoordinate(6, point.ExactLon)) + "\t";
        if (residual.Known)
            text += FixedText(residual.DX, 3) + "\t" + FixedText(residual.DY, 3) + "\t"
                + FixedText(residual.Pixels, 3) + "\t" + FixedText(residual.Metres, 2) + "\t";
        else
            text += "\t\t\t\t";
        text += residual.Suspect ? "suspect\n" : "\n";
    }
    // The mapping's reason says what failed; the layout says which points to look at.
    for (const std::string &finding : PointLayout::Findings(map.Points))
        text += "# Found: " + finding + "\n";
    if (!report.Reason.empty())
        text += "# No mapping: " + report.Reason + "\n";
    else
        text += RmsLine(report, points.size());
    return text;
}

} // namespace carteva
