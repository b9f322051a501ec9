// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/DecimalDigits.h"

#include "calibration/CheckedMath.h"
#include "calibration/PowerTables.h"

#include <cstdint>
#include <stdexcept>

namespace carteva {

namespace {

constexpr int RoundedDigits = 18; // 17 decimals of a plus its units digit
constexpr std::uint64_t CarryThreshold = 1'000'000'000'000'000'000ull;

} // namespace

DecimalDigits GenerateDigits(Extended a, int m)
{
    if (m < 1 || m > DecimalDigits::MaxCount || !(a >= 0 && a < 16))
        throw std::invalid_argument("GenerateDigits needs 0 <= a < 16 and 1 <= m <= 63");

    // Two roundings on purpose: the product to extended first, then that to an integer.
    const Extended scaled = CheckedMul(a, SmallPowersOfTen[17]);
    auto v = static_cast<std::uint64_t>(CheckedRound(scaled));

    DecimalDigits result;
    result.Count = m;
    char *d = result.Digits.data();
    d[0] = '0';
    if (v >= CarryThreshold) {
        v -= CarryThreshold;
        d[0] = '1';
    }
    // The 18 digits of v, with leading zeros, split in two halves to keep the divisions 32-bit.
    auto high = static_cast<std::uint32_t>(v / 1'000'000'000u);
    auto low = static_cast<std::uint32_t>(v % 1'000'000'000u);
    for (int i = RoundedDigits; i > 9; --i) {
        d[i] = static_cast<char>('0' + low % 10);
        low /= 10;
    }
    for (int i = 9; i > 0; --i) {
        d[i] = static_cast<char>('0' + high % 10);
        high /= 10;
    }

    if (m < RoundedDigits) {
        if (d[m + 1] >= '5') {
            int i = m;
            while (d[i] == '9')
                d[i--] = '0';
            ++d[i]; // stops at the carry digit at the latest, which is 0 whenever all after it are
                    // 9
        }
    } else {
        for (int i = RoundedDigits + 1; i <= m; ++i)
            d[i] = '0';
    }
    return result;
}

} // namespace carteva
