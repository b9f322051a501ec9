#include "calibration/PixelSurface.h"

// Placeholder until the model lands.
namespace carteva {
void DrawPointMarks(std::span<const TCalibPoint>, PixelSurface &) {}
} // namespace carteva
