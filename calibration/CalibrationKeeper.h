#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationFile.h"

#include <cstdint>
#include <filesystem>
#include <span>
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
    void PointSaved() { pointsSaved_ = true; }
    // Writes the file as the close does (throws Error on failure); false when it leaves the file
    // alone.
    bool Write(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
               std::span<const TCalibPoint> points);

private:
    bool read_ = false;
    bool unreadable_ = false;
    bool pointsSaved_ = false;
    bool backupKept_ = false;
};

} // namespace carteva
