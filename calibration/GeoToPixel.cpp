#include "calibration/GeoToPixel.h"

// Placeholder until the model lands.
namespace carteva {
std::optional<Pixel> GeoToPixel(std::span<const TCalibPoint>, Extended, Extended) { return {}; }
} // namespace carteva
