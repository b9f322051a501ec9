// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <array>

namespace carteva {

// The decimal digits of a scaled magnitude a (0 <= a < 16), as GenerateDigits produces them:
// Digits[0] is the carry digit (the tens digit of a after rounding, 0 or 1), Digits[1] the units
// digit of a, Digits[2] onwards its fraction digits. All are ASCII '0' ... '9'.
struct DecimalDigits
{
    static constexpr int MaxCount = 63;

    int Count = 0; // digits after the carry digit
    std::array<char, MaxCount + 1> Digits {};

    bool HasCarry() const { return Digits[0] == '1'; }
};

// a is first rounded to 17 decimals (a × 10^17, rounded to extended, then to an integer, ties to
// even); those 18 or 19 digits are then rounded half up at digit m, looking only at digit m + 1.
// Beyond the 18th digit after the carry digit come zeros. Needs 0 <= a < 16 and 1 <= m <= 63.
DecimalDigits GenerateDigits(Extended a, int m);

} // namespace carteva
