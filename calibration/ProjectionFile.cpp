// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/ProjectionFile.h"

#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"
#include "calibration/MapProjection.h"
#include "calibration/Trimmed.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <system_error>

namespace carteva {

namespace fs = std::filesystem;

namespace {

// A definition is a line or a WKT or PROJJSON text of a few kilobytes; anything far larger is no
// projection file.
constexpr std::uintmax_t MaximumBytes = 1 << 20;

} // namespace

fs::path ProjectionFile::NameFor(const fs::path &calibrationFile)
{
    std::string name = calibrationFile.native();
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, "cali") == 0)
        name.resize(name.size() - 4);
    return name + "prj";
}

std::string ProjectionFile::Read(const fs::path &calibrationFile)
{
    const fs::path path = NameFor(calibrationFile);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return {};
    if (error)
        throw Error(path.native() + ": " + error.message());
    if (status.type() != fs::file_type::regular)
        throw Error(path.native() + ": not a regular file");
    if (fs::file_size(path, error) > MaximumBytes)
        throw Error(path.native() + ": too large for a projection");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(path.native() + ": open: " + std::strerror(errno));
    const std::string text {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw Error(path.native() + ": read failed");
    return std::string(Trimmed(text));
}

std::shared_ptr<const MapProjection> ProjectionFile::Make(const std::string &definition,
                                                          const std::string &source)
{
    if (definition.empty() || definition == "Degrees")
        return nullptr;
    try {
        return std::make_shared<const MapProjection>(definition);
    } catch (const Error &error) {
        throw Error(source + ": " + error.what());
    }
}

std::shared_ptr<const MapProjection> ProjectionFile::Open(const fs::path &calibrationFile)
{
    return Make(Read(calibrationFile), NameFor(calibrationFile).native());
}

void ProjectionFile::Write(const fs::path &calibrationFile, const std::string &definition)
{
    const fs::path path = NameFor(calibrationFile);
    const std::string text(Trimmed(definition));
    if (text.empty()) {
        std::error_code error;
        fs::remove(path, error);
        if (error)
            throw Error(path.native() + ": remove: " + error.message());
        return;
    }
    const std::string line = text + "\n";
    FileOps posix;
    ReplaceFile(posix, path,
                std::span(reinterpret_cast<const std::uint8_t *>(line.data()), line.size()),
                std::nullopt);
}

} // namespace carteva
