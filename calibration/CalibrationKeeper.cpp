// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationKeeper.h"

#include <system_error>

namespace carteva {

CalibrationReadResult CalibrationKeeper::Read(const std::filesystem::path &path,
                                              std::vector<TCalibPoint> &points)
{
    read_ = true;
    readFailure_.clear();
    const CalibrationReadResult result = ReadCalibrationFile(path, points, &readFailure_);
    if (result == CalibrationReadResult::Failed)
        unreadable_ = true;
    return result;
}

bool CalibrationKeeper::Write(const std::filesystem::path &path, std::int32_t width,
                              std::int32_t height, std::span<const TCalibPoint> points)
{
    writeWarning_.clear();
    if (!read_ && !pointsSaved_)
        return false;
    std::error_code ignored;
    if ((unreadable_ || !read_) && !backupKept_ && std::filesystem::exists(path, ignored)) {
        // Once only: a second close (a log-off after all) must not back up our own file.
        writeWarning_ = BackupCalibrationFile(path);
        backupKept_ = true;
    }
    const std::string warning = WriteCalibrationFile(path, width, height, points);
    if (!warning.empty())
        writeWarning_ += (writeWarning_.empty() ? "" : "; ") + warning;
    return true;
}

} // namespace carteva
