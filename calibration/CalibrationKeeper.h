// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationFile.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// Decides what the close may do to the calibration file of the opened bitmap, so that a close
// never destroys points the program could not read:
// - a file that existed but could not be read completely is kept as "<file>.bak" (once per run)
//   before it is replaced;
// - when the file was never read (the picture failed to load), the close writes nothing unless
//   points were saved meanwhile, and then keeps an existing file as above.
class CalibrationKeeper
{
public:
    // Appends the file's points; see ReadCalibrationFile.
    CalibrationReadResult Read(const std::filesystem::path &path, std::vector<TCalibPoint> &points);
    // Why the last Read did not complete (a missing file too), naming the file, the call and the
    // system's message; empty when it did or before any Read.
    const std::string &ReadFailure() const { return readFailure_; }
    void PointSaved() { pointsSaved_ = true; }
    // Writes the file as the close does (throws Error on failure, its what() saying why); false
    // when it leaves the file alone.
    bool Write(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
               std::span<const TCalibPoint> points);
    // What the last Write saved but could not make sure of: the file (or its backup) is in place,
    // yet its folder could not be flushed. Not a failure, only worth logging; empty otherwise.
    const std::string &WriteWarning() const { return writeWarning_; }

private:
    std::string readFailure_;
    std::string writeWarning_;
    bool read_ = false;
    bool unreadable_ = false;
    bool pointsSaved_ = false;
    bool backupKept_ = false;
};

} // namespace carteva
