// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <array>

// The powers of ten behind ScaleByPowerOfTen. Each entry is the extended value nearest to its
// power (g++ rounds long double literals correctly); the entries up to 10^27 are exact. Index 0 of
// the medium and large tables is never used by the scaling and holds 1.
namespace carteva {

// 10^i for i = 0 ... 31
inline constexpr std::array<Extended, 32> SmallPowersOfTen = {
    1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L,
    1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L,
    1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L,
};

// 10^(32·j) for j = 1 ... 15
inline constexpr std::array<Extended, 16> MediumPowersOfTen = {
    1e0L,   1e32L,  1e64L,  1e96L,  1e128L, 1e160L, 1e192L, 1e224L,
    1e256L, 1e288L, 1e320L, 1e352L, 1e384L, 1e416L, 1e448L, 1e480L,
};

// 10^(512·k) for k = 1 ... 9
inline constexpr std::array<Extended, 10> LargePowersOfTen = {
    1e0L, 1e512L, 1e1024L, 1e1536L, 1e2048L, 1e2560L, 1e3072L, 1e3584L, 1e4096L, 1e4608L,
};

// Decimal exponents from this bound on scale to infinity, and from its negative on to zero.
inline constexpr int DecimalExponentLimit = 5120;

} // namespace carteva
