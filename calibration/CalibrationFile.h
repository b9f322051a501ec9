#pragma once

#include "calibration/CalibPoint.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace carteva {

class FileOps;

// The bitmap's path with its last three characters replaced by "cali" (valley.bmp -> valley.cali);
// characters are counted, the extension is not looked for.
std::u16string CalibrationFileName(std::u16string_view bitmapFileName);

enum class CalibrationReadResult {
    Complete, // every record was read
    NoSuchFile, // there is no file at the path
    Failed, // unreadable, shorter than its header, or a tail that is not a whole record
};

// Appends the file's records to `points`; on failure the records read before it stay appended.
CalibrationReadResult ReadCalibrationFile(const std::filesystem::path &path,
                                          std::vector<TCalibPoint> &points);

// Writes width, height and the records. The file is replaced atomically: written to a temporary
// file in the same folder, flushed to disk and renamed over the old one, so on any failure the old
// file stays as it was. A read-only existing file is not replaced; an existing file's mode is kept.
// Symbolic links are followed. Throws Error on failure (also when the folder cannot be flushed
// after the rename, although the new file is then already in place).
void WriteCalibrationFile(const std::filesystem::path &path, std::int32_t width,
                          std::int32_t height, std::span<const TCalibPoint> points);

// Keeps a copy of the file's current bytes as "<path>.bak" (replaced the same way). Throws Error,
// also when there is no file to copy.
void BackupCalibrationFile(const std::filesystem::path &path);

// The same, with every file operation going through `ops`.
CalibrationReadResult ReadCalibrationFile(const std::filesystem::path &path,
                                          std::vector<TCalibPoint> &points, FileOps &ops);
void WriteCalibrationFile(const std::filesystem::path &path, std::int32_t width,
                          std::int32_t height, std::span<const TCalibPoint> points, FileOps &ops);
void BackupCalibrationFile(const std::filesystem::path &path, FileOps &ops);

} // namespace carteva
