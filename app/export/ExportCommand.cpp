// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommand.h"

#include "app/export/CalibratedMapReader.h"
#include "app/export/GcpPointsWriter.h"
#include "app/export/OziMapWriter.h"
#include "app/export/PixelLineWriter.h"
#include "app/export/PointTextWriter.h"
#include "app/export/ProjectionRankingWriter.h"
#include "app/export/ResidualReportWriter.h"
#include "app/export/VrtWriter.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char Program[] = "carteva-export: ";

struct FormatEntry
{
    ExportFormat Format;
    const char *Extension; // of the default output; none: standard output
    std::string (*write)(const CalibratedMap &);
};

constexpr FormatEntry Formats[] = {
    {ExportFormat::Vrt, ".vrt", &VrtWriter::Write},
    {ExportFormat::Map, ".map", &OziMapWriter::Write},
    {ExportFormat::Points, ".points", &GcpPointsWriter::Write},
    {ExportFormat::Text, nullptr, &PointTextWriter::Write},
    {ExportFormat::Report, nullptr, nullptr}, // needs the mapping: see Written
    {ExportFormat::Pixels, nullptr, nullptr}, // needs the input too
    {ExportFormat::Projections, nullptr, &ProjectionRankingWriter::Write},
};

const FormatEntry &EntryOf(ExportFormat format)
{
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [format](const FormatEntry &entry) { return entry.Format == format; });
}

std::string Written(const FormatEntry &entry, const CalibratedMap &map, const ExportOptions &options,
                    std::istream &in)
{
    if (entry.Format == ExportFormat::Report)
        return ResidualReportWriter::Write(map, options.Fit.value_or(MappingKind::BestFit));
    if (entry.Format == ExportFormat::Pixels) {
        std::ostringstream text;
        PixelLineWriter::Write(map, options.Fit.value_or(MappingKind::BestFit), in, text);
        return std::move(text).str();
    }
    if (entry.Format == ExportFormat::Text && options.Fit)
        return PointTextWriter::Write(map, *options.Fit);
    return entry.write(map);
}

// GDAL fits a polynomial through the points, which takes three; a file with fewer only makes
// gdalwarp fail later. Below two there is nothing to export at all (the reader warns of two).
void CheckPointCount(const CalibratedMap &map, const ExportOptions &options)
{
    if (options.Format != ExportFormat::Vrt && options.Format != ExportFormat::Map
        && options.Format != ExportFormat::Points)
        return;
    const std::string calibration
        = CalibratedMapReader::CalibrationFileOf(options.Bitmap).native();
    if (map.Points.size() < 2)
        throw Error(calibration + ": " + std::to_string(map.Points.size())
                    + " usable point(s), too few to export; GDAL needs three to warp");
}

// Text mapped through a mapping that cannot map says why, rather than leaving columns empty.
void CheckMapping(const CalibratedMap &map, const ExportOptions &options,
                  std::vector<std::string> &warnings)
{
    if (options.Format != ExportFormat::Pixels && (options.Format != ExportFormat::Text || !options.Fit))
        return;
    const std::string reason
        = Mapping(map.SetupFor(options.Fit.value_or(MappingKind::BestFit)), CalibPointsOf(map))
              .Reason();
    if (!reason.empty())
        warnings.push_back(options.Bitmap + ": no mapping: " + reason);
}

// A map file holds degrees, and plain text or the two nearest points never project.
bool UsesProjection(const ExportOptions &options)
{
    switch (options.Format) {
    case ExportFormat::Map:
        return false;
    case ExportFormat::Text:
        return options.Fit.has_value() && *options.Fit != MappingKind::TwoNearest;
    case ExportFormat::Report:
    case ExportFormat::Pixels:
        return options.Fit.value_or(MappingKind::BestFit) != MappingKind::TwoNearest;
    default:
        return true;
    }
}

// The descriptor an output names when it is one the command was given open: "/dev/stdout" and
// the like. Writing to it keeps what the shell set up (appending, a position in a file).
std::optional<int> OpenDescriptorNamed(const fs::path &output)
{
    const std::string &name = output.native();
    if (name == "/dev/stdout")
        return 1;
    if (name == "/dev/stderr")
        return 2;
    for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
        if (name.compare(0, folder.size(), folder) != 0)
            continue;
        int fd = -1;
        const char *digits = name.data() + folder.size();
        const char *end = name.data() + name.size();
        const auto [stop, error] = std::from_chars(digits, end, fd);
        if (error == std::errc() && stop == end && digits != end)
            return fd;
    }
    return std::nullopt;
}

void WriteAllTo(int fd, const fs::path &path, const std::string &text)
{
    const char *data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw Error(path.native()
                        + ": cannot write: " + std::strerror(written < 0 ? errno : EIO));
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

// A regular file (or none yet) is replaced atomically, so a failure leaves no half-written output;
// anything else that exists (a device, a FIFO, a descriptor's name) is written to as it is.
void WriteFile(const fs::path &path, const std::string &text)
{
    if (const std::optional<int> fd = OpenDescriptorNamed(path)) {
        WriteAllTo(*fd, path, text);
        return;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        // Like a shell's redirection: a FIFO waits for its reader.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            throw Error(path.native() + ": cannot write: " + std::strerror(errno));
        try {
            WriteAllTo(fd, path, text);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (::close(fd) != 0)
            throw Error(path.native() + ": cannot write: " + std::strerror(errno));
        return;
    }
    FileOps posix;
    try {
        ReplaceFile(posix, path,
                    std::span(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()),
                    std::nullopt);
    } catch (const Error &error) {
        throw Error(path.native() + ": cannot write: " + error.what());
    }
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

// The same for an output that is a descriptor the shell set up: "> map.cali" or "1<> map.bmp" names
// no file to compare, so the descriptor's file is compared by device and inode.
void CheckDescriptorNotAnInput(int fd, const std::string &name, const fs::path &bitmap)
{
    struct stat output;
    if (::fstat(fd, &output) != 0)
        return; // closed: writing fails and says so
    for (const fs::path &input : {bitmap, CalibratedMapReader::CalibrationFileOf(bitmap)}) {
        struct stat info;
        if (::stat(input.c_str(), &info) == 0 && info.st_dev == output.st_dev
            && info.st_ino == output.st_ino)
            throw Error(name + ": that is the bitmap or its calibration file");
    }
}

} // namespace

int ExportCommand::Run(const ExportOptions &options, std::istream &in, std::ostream &out,
                       std::ostream &err)
{
    const FormatEntry &entry = EntryOf(options.Format);
    const fs::path bitmap = options.Bitmap;
    fs::path output = options.Output;
    if (output.empty() && entry.Extension != nullptr)
        output = fs::path(bitmap).replace_extension(entry.Extension);
    // "-" is standard output.
    const bool toStandardOutput = output.empty() || output == "-";
    // Outputs name the bitmap relative to their own folder: one written through standard output
    // or a descriptor lands where the shell put it, most likely here. Text names no file.
    fs::path outputFolder = ".";
    if (output.empty() && bitmap.has_parent_path())
        outputFolder = bitmap.parent_path();
    else if (!toStandardOutput && !OpenDescriptorNamed(output) && output.has_parent_path())
        outputFolder = output.parent_path();
    try {
        if (toStandardOutput)
            CheckDescriptorNotAnInput(STDOUT_FILENO, "standard output", bitmap);
        else if (const std::optional<int> fd = OpenDescriptorNamed(output))
            CheckDescriptorNotAnInput(*fd, output.native(), bitmap);
        else
            CheckNotAnInput(output, bitmap);
        std::vector<std::string> warnings;
        const CalibratedMap map = CalibratedMapReader::Read(
            bitmap, outputFolder, warnings,
            options.Projection ? &*options.Projection : nullptr, UsesProjection(options));
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
        CheckPointCount(map, options);
        CheckMapping(map, options, warnings);
        for (const std::string &warning : warnings)
            err << Program << "warning: " << warning << '\n';

        const std::string text = Written(entry, map, options, in);
        if (toStandardOutput) {
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
