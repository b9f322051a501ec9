// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommand.h"

#include "app/export/CalibratedMapReader.h"
#include "app/export/GcpPointsWriter.h"
#include "app/export/OziMapWriter.h"
#include "app/export/PointTextWriter.h"
#include "app/export/ResidualReportWriter.h"
#include "app/export/VrtWriter.h"
#include "calibration/Errors.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char Program[] = "carteva-export: ";

struct FormatEntry
{
    ExportFormat format;
    const char *extension; // of the default output; none: standard output
    std::string (*write)(const CalibratedMap &);
};

constexpr FormatEntry Formats[] = {
    {ExportFormat::Vrt, ".vrt", &VrtWriter::Write},
    {ExportFormat::Map, ".map", &OziMapWriter::Write},
    {ExportFormat::Points, ".points", &GcpPointsWriter::Write},
    {ExportFormat::Text, nullptr, &PointTextWriter::Write},
    {ExportFormat::Report, nullptr, nullptr}, // needs the mapping: see Written
};

const FormatEntry &EntryOf(ExportFormat format)
{
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [format](const FormatEntry &entry) { return entry.format == format; });
}

std::string Written(const FormatEntry &entry, const CalibratedMap &map, const ExportOptions &options)
{
    if (entry.format == ExportFormat::Report)
        return ResidualReportWriter::Write(map, options.Fit.value_or(MappingKind::BestFit));
    if (entry.format == ExportFormat::Text && options.Fit)
        return PointTextWriter::Write(map, *options.Fit);
    return entry.write(map);
}

// GDAL fits a polynomial through the points, which takes three; a file with fewer only makes
// gdalwarp fail later. Below two there is nothing to export at all.
void CheckPointCount(const CalibratedMap &map, const ExportOptions &options,
                     std::vector<std::string> &warnings)
{
    if (options.Format != ExportFormat::Vrt && options.Format != ExportFormat::Map
        && options.Format != ExportFormat::Points)
        return;
    const std::string calibration
        = CalibratedMapReader::CalibrationFileOf(options.Bitmap).native();
    if (map.Points.size() < 2)
        throw Error(calibration + ": " + std::to_string(map.Points.size())
                    + " usable point(s), too few to export; GDAL needs three to warp");
    if (map.Points.size() == 2)
        warnings.push_back(calibration + ": only two points; GDAL needs three to warp");
}

// Text mapped through a mapping that cannot map says why, rather than leaving columns empty.
void CheckMapping(const CalibratedMap &map, const ExportOptions &options,
                  std::vector<std::string> &warnings)
{
    if (options.Format != ExportFormat::Text || !options.Fit)
        return;
    const std::string reason = Mapping(*options.Fit, CalibPointsOf(map)).Reason();
    if (!reason.empty())
        warnings.push_back(options.Bitmap + ": no mapping: " + reason);
}

void WriteFile(const fs::path &path, const std::string &text)
{
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path.native())));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit())
        throw Error(path.native() + ": cannot write: " + file.errorString().toStdString());
}

// File names end up on lines of their own (map) and in XML (vrt), where control characters
// cannot go.
void CheckImageName(const CalibratedMap &map, const fs::path &bitmap)
{
    if (std::any_of(map.Image.begin(), map.Image.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        throw Error(bitmap.native() + ": a control character in the name cannot be exported");
}

// An export written over the bitmap or its calibration would destroy what it exports.
void CheckNotAnInput(const fs::path &output, const fs::path &bitmap)
{
    for (const fs::path &input : {bitmap, CalibratedMapReader::CalibrationFileOf(bitmap)}) {
        std::error_code error;
        if (fs::equivalent(output, input, error))
            throw Error(output.native() + ": that is the bitmap or its calibration file");
    }
}

} // namespace

int ExportCommand::Run(const ExportOptions &options, std::ostream &out, std::ostream &err)
{
    const FormatEntry &entry = EntryOf(options.Format);
    const fs::path bitmap = options.Bitmap;
    fs::path output = options.Output;
    if (output.empty() && entry.extension != nullptr)
        output = fs::path(bitmap).replace_extension(entry.extension);
    // Text on standard output names no file; other outputs name the bitmap relative to themselves.
    const fs::path written = output.empty() ? bitmap : output;
    const fs::path outputFolder = written.has_parent_path() ? written.parent_path() : ".";
    try {
        if (!output.empty())
            CheckNotAnInput(output, bitmap);
        std::vector<std::string> warnings;
        const CalibratedMap map = CalibratedMapReader::Read(bitmap, outputFolder, warnings);
        if (options.Format == ExportFormat::Vrt && !map.GdalReadsImage)
            throw Error(bitmap.native()
                        + ": GDAL reads no icons or metafiles; choose --format map, points or "
                          "text");
        if (options.Format == ExportFormat::Map || options.Format == ExportFormat::Vrt)
            CheckImageName(map, bitmap);
        if (options.Format == ExportFormat::Map && map.Points.size() > OziMapWriter::MaxPoints) {
            warnings.push_back(output.native() + ": the map format holds "
                               + std::to_string(OziMapWriter::MaxPoints) + " points; the last "
                               + std::to_string(map.Points.size() - OziMapWriter::MaxPoints)
                               + " are left out");
        }
        CheckPointCount(map, options, warnings);
        CheckMapping(map, options, warnings);
        for (const std::string &warning : warnings)
            err << Program << "warning: " << warning << '\n';

        const std::string text = Written(entry, map, options);
        if (output.empty()) {
            out << text << std::flush;
            if (!out)
                throw Error("standard output: cannot write");
        } else {
            WriteFile(output, text);
        }
    } catch (const std::exception &error) {
        // Error names the file itself; anything else (out of memory) is rare enough to go as is.
        err << Program << error.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace carteva
