// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace carteva {

class MapProjection;

// The map's projection kept beside it as text: named like the calibration file with "prj" in
// place of "cali" (valley.cali -> valley.prj), holding one definition PROJ accepts. No file
// means degrees. The calibration file itself never changes for it.
class ProjectionFile
{
public:
    static std::filesystem::path NameFor(const std::filesystem::path &calibrationFile);

    // The definition, white space around it removed; empty when there is no file. Throws Error
    // naming the file when it cannot be read.
    static std::string Read(const std::filesystem::path &calibrationFile);
    // Replaces the file atomically; an empty definition removes it. Throws Error naming the file.
    static void Write(const std::filesystem::path &calibrationFile, const std::string &definition);

    // The projection a definition names; null for none (empty, or "Degrees" as the exporter's
    // ranking writes it). Throws Error whose words start with `source`, the definition's origin.
    static std::shared_ptr<const MapProjection> Make(const std::string &definition,
                                                     const std::string &source);
    // The projection kept beside the calibration, or null. Throws Error naming the file.
    static std::shared_ptr<const MapProjection> Open(const std::filesystem::path &calibrationFile);
};

} // namespace carteva
