// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <cstdint>
#include <string>
#include <string_view>

// The only conversions between numbers and text. They ignore the user's locale: '.' is always the
// decimal separator and there is no digit grouping.
namespace carteva {

// Text to extended. Never fails on malformed text (returns the digit accumulator read so far);
// throws EOverflow when the number exceeds the extended range.
Extended ParseDecimal(std::u16string_view text);
// The same on UTF-8 text, bit for bit: the grammar is ASCII, and anything else ends it.
Extended ParseDecimal(std::string_view text);

// True exactly when the text is a complete number by ParseDecimal's grammar.
bool IsDecimalNumber(std::u16string_view text);
bool IsDecimalNumber(std::string_view text);

// Fixed notation with `decimals` (1..7) fraction digits, at least decimals + 2 characters.
std::u16string FormatCoordinate(int decimals, Extended value);

// Decimal or hexadecimal ($, x, 0x) integer text; throws EConvertError otherwise.
std::int32_t ParseInteger(std::u16string_view text);

std::u16string FormatInteger(std::int32_t value);

// value × 10^e through the power tables, each product or quotient rounded.
Extended ScaleByPowerOfTen(Extended value, std::int32_t e);

} // namespace carteva
