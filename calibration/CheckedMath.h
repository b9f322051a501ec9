// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <cmath>
#include <cstdint>
#include <limits>

// The arithmetic of the model: every operation is rounded to a 64-bit significand, to nearest with
// ties to even, and raises EInvalidOp / EZeroDivide / EOverflow by explicit checks of its result
// (never by FPU traps). Underflow, denormals and inexact results pass silently. The checks only run
// when the result is not finite, so the common path costs one comparison.
namespace carteva {

// Puts the x87 unit into 64-bit precision, round to nearest, all exceptions masked. Called at
// start-up and after every floating-point error the general error handler catches.
void EstablishFloatingPointSettings();
bool FloatingPointSettingsInForce();

namespace detail {
[[noreturn]] void ThrowInvalidOp();
[[noreturn]] void ThrowZeroDivide();
[[noreturn]] void ThrowOverflow();
// Decides what a non-finite result of a binary operation means, as the x87 unit would flag it.
void CheckNonFinite(Extended a, Extended b, Extended result);
void CheckNonFiniteQuotient(Extended a, Extended b, Extended result);
} // namespace detail

inline Extended CheckedAdd(Extended a, Extended b)
{
    const Extended r = a + b;
    if (!std::isfinite(r)) [[unlikely]]
        detail::CheckNonFinite(a, b, r);
    return r;
}

inline Extended CheckedSub(Extended a, Extended b)
{
    const Extended r = a - b;
    if (!std::isfinite(r)) [[unlikely]]
        detail::CheckNonFinite(a, b, r);
    return r;
}

inline Extended CheckedMul(Extended a, Extended b)
{
    const Extended r = a * b;
    if (!std::isfinite(r)) [[unlikely]]
        detail::CheckNonFinite(a, b, r);
    return r;
}

inline Extended CheckedDiv(Extended a, Extended b)
{
    const Extended r = a / b;
    if (!std::isfinite(r)) [[unlikely]]
        detail::CheckNonFiniteQuotient(a, b, r);
    return r;
}

namespace detail {
Extended CheckedSqrtSlow(Extended a);
}

inline Extended CheckedSqrt(Extended a)
{
    // Finite and not negative (an unsupported encoding compares unordered and goes the slow way).
    if (a >= 0 && a <= std::numeric_limits<Extended>::max()) [[likely]] {
        Extended r;
        asm("fsqrt" : "=t"(r) : "0"(a));
        return r;
    }
    return detail::CheckedSqrtSlow(a);
}

// Round to the nearest 64-bit integer, ties to even. Infinities, NaNs and values whose rounding
// lies outside the signed 64-bit range are invalid operations.
inline std::int64_t CheckedRound(Extended v)
{
    // Exactly the values whose nearest-even rounding fits: 2^63 - 0.5 already ties up to 2^63,
    // and below -2^63 the next extended value is -2^63 - 1.
    if (!(v > -0x1p63L - 1 && v < 0x1p63L - 0.5L)) [[unlikely]]
        detail::ThrowInvalidOp();
    std::int64_t result;
    asm("fistpll %0" : "=m"(result) : "t"(v) : "st"); // in the current mode: round to nearest
    return result;
}

} // namespace carteva
