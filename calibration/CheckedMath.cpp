// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CheckedMath.h"

#include "calibration/Errors.h"

#include <cfenv>

namespace carteva {

namespace {

constexpr std::uint16_t ExponentMask = 0x7FFF;

bool IsQuietNaN(Extended v)
{
    const std::uint64_t significand = SignificandBits(v);
    return (SignExponentBits(v) & ExponentMask) == ExponentMask
        && (significand >> 62) == 3; // integer bit and quiet bit
}

bool IsInfinity(Extended v)
{
    return (SignExponentBits(v) & ExponentMask) == ExponentMask
        && SignificandBits(v) == 0x8000000000000000ull;
}

// An operand that is an ordinary finite number; unnormals and pseudo-denormals are not.
bool IsFiniteOperand(Extended v)
{
    const std::uint16_t exponent = SignExponentBits(v) & ExponentMask;
    const std::uint64_t significand = SignificandBits(v);
    if (exponent == ExponentMask)
        return false;
    if (exponent == 0)
        return (significand >> 63) == 0; // zero or denormal
    return (significand >> 63) == 1;
}

} // namespace

namespace detail {

void ThrowInvalidOp()
{
    throw EInvalidOp();
}
void ThrowZeroDivide()
{
    throw EZeroDivide();
}
void ThrowOverflow()
{
    throw EOverflow();
}

void CheckNonFinite(Extended a, Extended b, Extended result)
{
    const bool quietNaNOperand = IsQuietNaN(a) || IsQuietNaN(b);
    const bool badOperand = (!IsFiniteOperand(a) && !IsQuietNaN(a) && !IsInfinity(a))
        || (!IsFiniteOperand(b) && !IsQuietNaN(b) && !IsInfinity(b));
    if (badOperand)
        ThrowInvalidOp(); // signaling NaN or an encoding the unit does not support
    if (std::isnan(result)) {
        if (!quietNaNOperand)
            ThrowInvalidOp(); // inf - inf, 0 * inf, 0 / 0, inf / inf
        return; // a quiet NaN operand propagates silently
    }
    if (IsFiniteOperand(a) && IsFiniteOperand(b))
        ThrowOverflow();
}

void CheckNonFiniteQuotient(Extended a, Extended b, Extended result)
{
    if (IsFiniteOperand(a) && a != 0 && IsFiniteOperand(b) && b == 0 && std::isinf(result))
        ThrowZeroDivide();
    CheckNonFinite(a, b, result);
}

} // namespace detail

Extended detail::CheckedSqrtSlow(Extended a)
{
    const Extended r = __builtin_sqrtl(a);
    if (!std::isfinite(r) || !IsFiniteOperand(a)) [[unlikely]] {
        if (IsQuietNaN(a) || (IsInfinity(a) && a > 0))
            return r;
        if (IsFiniteOperand(a) && !std::isnan(r))
            return r;
        detail::ThrowInvalidOp(); // negative, -inf, signaling NaN, unsupported encoding
    }
    return r;
}

void EstablishFloatingPointSettings()
{
    std::fesetround(FE_TONEAREST);
    // x87 control word: all exceptions masked (0x3F), precision control 64-bit (0x300),
    // rounding to nearest (0x000).
    const std::uint16_t controlWord = 0x037F;
    asm volatile("fldcw %0" : : "m"(controlWord));
    std::feclearexcept(FE_ALL_EXCEPT);
}

bool FloatingPointSettingsInForce()
{
    std::uint16_t controlWord = 0;
    asm volatile("fnstcw %0" : "=m"(controlWord));
    return (controlWord & 0x0F3F) == 0x033F && std::fegetround() == FE_TONEAREST;
}

} // namespace carteva
