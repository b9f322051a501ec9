#include "calibration/NumberText.h"

#include "calibration/Errors.h"

// Placeholder until the conversions land.
namespace carteva {
Extended ParseDecimal(std::u16string_view) { throw Error("not implemented"); }
bool IsDecimalNumber(std::u16string_view) { throw Error("not implemented"); }
std::u16string FormatCoordinate(int, Extended) { throw Error("not implemented"); }
std::int32_t ParseInteger(std::u16string_view) { throw Error("not implemented"); }
std::u16string FormatInteger(std::int32_t) { throw Error("not implemented"); }
Extended ScaleByPowerOfTen(Extended, std::int32_t) { throw Error("not implemented"); }
} // namespace carteva
