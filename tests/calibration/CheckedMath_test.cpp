// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CheckedMath.h"
#include "calibration/Errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

namespace carteva {
namespace {

constexpr Extended kInf = std::numeric_limits<Extended>::infinity();
constexpr Extended kMax = std::numeric_limits<Extended>::max();
const Extended kNaN = std::numeric_limits<Extended>::quiet_NaN();

enum class Outcome { Value, Invalid, ZeroDivide, Overflow };

Outcome Classify(const std::function<void()> &operation)
{
    try {
        operation();
        return Outcome::Value;
    } catch (const EInvalidOp &) {
        return Outcome::Invalid;
    } catch (const EZeroDivide &) {
        return Outcome::ZeroDivide;
    } catch (const EOverflow &) {
        return Outcome::Overflow;
    }
}

TEST(CheckedMath, RaisesExactlyTheErrorsTheX87UnitWouldFlag)
{
    const Extended snan = std::numeric_limits<Extended>::signaling_NaN();
    struct Row
    {
        const char *name;
        std::function<void()> operation;
        Outcome expected;
    };
    const Row rows[] = {
        {"1/0", [] { CheckedDiv(1, 0); }, Outcome::ZeroDivide},
        {"-1/-0", [] { CheckedDiv(-1, -0.0L); }, Outcome::ZeroDivide},
        {"0/0", [] { CheckedDiv(0, 0); }, Outcome::Invalid},
        {"inf/0", [] { CheckedDiv(kInf, 0); }, Outcome::Value},
        {"inf/inf", [] { CheckedDiv(kInf, kInf); }, Outcome::Invalid},
        {"nan/0", [&] { CheckedDiv(kNaN, 0); }, Outcome::Value},
        {"inf-inf", [] { CheckedSub(kInf, kInf); }, Outcome::Invalid},
        {"inf+inf", [] { CheckedAdd(kInf, kInf); }, Outcome::Value},
        {"0*inf", [] { CheckedMul(0, kInf); }, Outcome::Invalid},
        {"max*2", [] { CheckedMul(kMax, 2); }, Outcome::Overflow},
        {"max+max", [] { CheckedAdd(kMax, kMax); }, Outcome::Overflow},
        {"-max-max", [] { CheckedSub(-kMax, kMax); }, Outcome::Overflow},
        {"max/0.5", [] { CheckedDiv(kMax, 0.5L); }, Outcome::Overflow},
        {"tiny*tiny underflows silently", [] { CheckedMul(0x1p-16000L, 0x1p-16000L); },
         Outcome::Value},
        {"quiet nan propagates", [&] { CheckedAdd(kNaN, 1); }, Outcome::Value},
        {"signaling nan", [&] { CheckedAdd(snan, 1); }, Outcome::Invalid},
        {"sqrt(-1)", [] { CheckedSqrt(-1); }, Outcome::Invalid},
        {"sqrt(-0)", [] { CheckedSqrt(-0.0L); }, Outcome::Value},
        {"sqrt(inf)", [] { CheckedSqrt(kInf); }, Outcome::Value},
        {"sqrt(-inf)", [] { CheckedSqrt(-kInf); }, Outcome::Invalid},
        {"round(inf)", [] { CheckedRound(kInf); }, Outcome::Invalid},
        {"round(nan)", [&] { CheckedRound(kNaN); }, Outcome::Invalid},
        {"round(2^63)", [] { CheckedRound(0x1p63L); }, Outcome::Invalid},
        {"round(2^63-0.5) ties to 2^63", [] { CheckedRound(0x1p63L - 0.5L); }, Outcome::Invalid},
        {"round(-2^63)", [] { CheckedRound(-0x1p63L); }, Outcome::Value},
        {"round(-2^63-0.5) ties to even", [] { CheckedRound(-0x1p63L - 0.5L); }, Outcome::Value},
    };
    for (const Row &row : rows)
        EXPECT_EQ(Classify(row.operation), row.expected) << row.name;
}

TEST(CheckedMath, RoundsHalfwayCasesToEven)
{
    const struct
    {
        Extended in;
        std::int64_t out;
    } rows[] = {{2.5L, 2},
                {3.5L, 4},
                {-2.5L, -2},
                {0.5L, 0},
                {1.5L, 2},
                {-0.4L, 0},
                {0x1p63L - 1, 0x7FFFFFFFFFFFFFFF},
                {-0x1p63L, INT64_MIN}};
    for (const auto &row : rows)
        EXPECT_EQ(CheckedRound(row.in), row.out) << static_cast<double>(row.in);
}

TEST(CheckedMath, EstablishesExtendedPrecisionRoundToNearest)
{
    const std::uint16_t singlePrecision = 0x007F;
    asm volatile("fldcw %0" : : "m"(singlePrecision));
    EXPECT_FALSE(FloatingPointSettingsInForce());
    EstablishFloatingPointSettings();
    EXPECT_TRUE(FloatingPointSettingsInForce());
    volatile Extended third = 1.0L;
    third = third / 3.0L;
    EXPECT_EQ(SignificandBits(third), 0xAAAAAAAAAAAAAAABull);
}

TEST(Errors, CarryTheirExactMessages)
{
    EXPECT_STREQ(EInvalidOp().what(), "Invalid floating point operation");
    EXPECT_STREQ(EZeroDivide().what(), "Floating point division by zero");
    EXPECT_STREQ(EOverflow().what(), "Floating point overflow");
    EXPECT_STREQ(EConvertError::NotAnInteger(u"abc").what(),
                 "''abc'' is not a valid integer value");
    EXPECT_STREQ(EConvertError::NotAnInteger(u"").what(), "'''' is not a valid integer value");
    EXPECT_STREQ(EConvertError::NotAFloat(u"50,5").what(),
                 "''50,5'' is not a valid floating point value");
    EXPECT_EQ(std::string(EConvertError::NotAnInteger(u"\u00e9\U0001F600").what()),
              "''\xC3\xA9\xF0\x9F\x98\x80'' is not a valid integer value");
}

} // namespace
} // namespace carteva
