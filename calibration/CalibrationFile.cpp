#include "calibration/CalibrationFile.h"

#include "calibration/Errors.h"

// Placeholder until the model lands.
namespace carteva {
std::u16string CalibrationFileName(std::u16string_view) { throw Error("not implemented"); }
CalibrationReadResult ReadCalibrationFile(const std::filesystem::path &, std::vector<TCalibPoint> &)
{
    return CalibrationReadResult::Failed;
}
void WriteCalibrationFile(const std::filesystem::path &, std::int32_t, std::int32_t,
                          std::span<const TCalibPoint>)
{
    throw Error("not implemented");
}
void BackupCalibrationFile(const std::filesystem::path &) { throw Error("not implemented"); }
} // namespace carteva
