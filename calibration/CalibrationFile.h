// SPDX-License-Identifier: GPL-2.0-or-later
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
struct FileState;

// The bitmap's path with its last three characters replaced by "cali" (valley.bmp -> valley.cali);
// characters are counted, the extension is not looked for.
std::u16string CalibrationFileName(std::u16string_view bitmapFileName);

enum class CalibrationReadResult {
    Complete, // every record was read
    NoSuchFile, // there is no file at the path
    Failed, // unreadable, not a regular file, shorter than its header, or a tail that is not a
            // whole record
};

// Appends the file's records to `points`; on failure the records read before it stay appended.
// Only a regular file is read: a FIFO, device, socket or folder fails at once, without blocking.
// When the read does not complete and `failure` is given, it receives why, naming the file, the
// call and the system's message ("/maps/valley.cali: open: No such file or directory").
CalibrationReadResult ReadCalibrationFile(const std::filesystem::path &path,
                                          std::vector<TCalibPoint> &points,
                                          std::string *failure = nullptr);

// Writes width, height and the records. The file is replaced atomically: written to a temporary
// file in the same folder, flushed to disk and renamed over the old one, so on any failure the old
// file stays as it was. A read-only existing file is not replaced; an existing file's mode is kept.
// Symbolic links are followed.
// A folder that refuses new files (read-only, immutable, or sticky and the file someone else's)
// cannot hold the temporary file; a writable existing file is then rewritten in place and flushed,
// and when that fails midway its old bytes are put back.
// Throws Error on failure; its what() names the file, the call and the system's message
// ("/maps/valley.cali: rename: Permission denied").
// Returns a warning, empty when there is none: the new file is in place but its folder could not
// be flushed, so the rename may not survive a power cut. That is not a failed save; the caller may
// log it.
std::string WriteCalibrationFile(const std::filesystem::path &path, std::int32_t width,
                                 std::int32_t height, std::span<const TCalibPoint> points);

// Keeps a copy of the file's current bytes as "<path>.bak", replaced as above: in a folder that
// refuses new files an existing backup is rewritten in place, and a missing one cannot be made.
// Throws Error, also when there is no file to copy or it is not a regular file; returns a warning
// as above.
std::string BackupCalibrationFile(const std::filesystem::path &path);

// The bytes of a calibration file: width, height and the records.
std::vector<std::uint8_t> EncodeCalibration(std::int32_t width, std::int32_t height,
                                            std::span<const TCalibPoint> points);

// The same, with every file operation going through `ops`. A complete read fills `state` in when
// given: its size and the hash of the bytes read.
CalibrationReadResult ReadCalibrationFile(const std::filesystem::path &path,
                                          std::vector<TCalibPoint> &points, FileOps &ops,
                                          std::string *failure = nullptr,
                                          FileState *state = nullptr);
std::string WriteCalibrationFile(const std::filesystem::path &path, std::int32_t width,
                                 std::int32_t height, std::span<const TCalibPoint> points,
                                 FileOps &ops);
std::string BackupCalibrationFile(const std::filesystem::path &path, FileOps &ops);

} // namespace carteva
