#include "calibration/CalibPoint.h"

#include "calibration/Errors.h"

// Placeholder until the model lands.
namespace carteva {
TCalibPoint TCalibPoint::FromRecord(const Record &) { throw Error("not implemented"); }
TCalibPoint::Record TCalibPoint::ToRecord() const { throw Error("not implemented"); }
int FindPoint(std::span<const TCalibPoint>, std::int32_t, std::int32_t) { return -1; }
} // namespace carteva
