// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/DecimalDigits.h"
#include "calibration/NumberText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace carteva {
namespace {

constexpr Extended kInf = std::numeric_limits<Extended>::infinity();

std::string Narrow(std::u16string_view text)
{
    return std::string(text.begin(), text.end());
}

std::u16string Widen(const std::string &text)
{
    return std::u16string(text.begin(), text.end());
}

TEST(FormatCoordinate, ShowsSixDecimalsRoundedHalfUpAfterSeventeen)
{
    const struct
    {
        Extended value;
        const char *expected;
    } rows[] = {
        {5.5L, "5.500000"},
        {-0.25L, "-0.250000"},
        {180, "180.000000"},
        {-180, "-180.000000"},
        {0, "0.000000"},
        {-0.0L, "-0.000000"},
        {ParseDecimal(u"50.0833333"), "50.083333"},
        {ParseDecimal(u"0.0000005"), "0.000001"},
        {ParseDecimal(u"-0.0000005"), "-0.000001"},
        {ParseDecimal(u"0.0000025"), "0.000003"}, // just below the half in binary
        {ParseDecimal(u"0.9999995"), "1.000000"},
        {ParseDecimal(u"99.9999995"), "100.000000"},
        {-0.0000001L, "-0.000000"},
        {0x1p-16445L, "0.000000"},
        {1e30L, "1000000000000000000000000000000.000000"},
        {1.3e36L, "1300000000000000000000000000000000000.000000"},
        {ParseDecimal(u"123456789012345678901234"), "123456789012345678900000.000000"},
        {0x1p120L - 0x1p56L, "1329227995784915873000000000000000000.000000"},
        {0x1p120L, " 1.3E+0036"},
        {1.33e36L, " 1.3E+0036"},
        {-1.33e36L, "-1.3E+0036"},
        {1.07e37L, " 1.1E+0037"},
        {1e40L, " 1.0E+0040"},
        {1.07e40L, " 1.0E+0040"}, // rounds at the digit after the dropped one
        {std::numeric_limits<Extended>::max(), " 1.1E+4932"},
        {kInf, "    +Inf"},
        {-kInf, "    -Inf"},
        {std::numeric_limits<Extended>::quiet_NaN(), "     Nan"},
        {ExtendedFromBits(0x7FFF, 0x80000000FFFFFFFF), "    +Inf"}, // low half not examined
        {ExtendedFromBits(0xFFFF, 0xC000000000000000), "     Nan"},
        {ExtendedFromBits(0x7FFF, 0), "     Nan"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Narrow(FormatCoordinate(6, row.value)), row.expected) << row.expected;
}

TEST(FormatCoordinate, WidensWithTheDecimalsAndNeverCutsInfOrNan)
{
    EXPECT_EQ(FormatCoordinate(1, 5.25L), u"5.3");
    EXPECT_EQ(FormatCoordinate(1, -0.04L), u"-0.0");
    EXPECT_EQ(FormatCoordinate(7, ParseDecimal(u"0.00000005")), u"0.0000001");
    EXPECT_EQ(FormatCoordinate(7, -12.5L), u"-12.5000000");
    EXPECT_EQ(FormatCoordinate(1, kInf), u"+Inf");
    EXPECT_EQ(FormatCoordinate(7, -kInf), u"     -Inf");
    EXPECT_EQ(FormatCoordinate(7, std::numeric_limits<Extended>::quiet_NaN()), u"      Nan");
}

// Such encodings come only from a damaged calibration file; they are shown by the number their
// bits spell instead of failing.
TEST(FormatCoordinate, ShowsUnnormalsAndPseudoDenormalsByTheirValue)
{
    EXPECT_EQ(FormatCoordinate(6, ExtendedFromBits(0x4000, 0x4000000000000000)), u"1.000000");
    EXPECT_EQ(FormatCoordinate(6, ExtendedFromBits(0xC000, 0x4000000000000000)), u"-1.000000");
    EXPECT_EQ(FormatCoordinate(6, ExtendedFromBits(0x4077, 0x4000000000000000)),
              u"664613997892457936000000000000000000.000000");
    EXPECT_EQ(FormatCoordinate(6, ExtendedFromBits(0x0000, 0x8000000000000000)), u"0.000000");

    std::mt19937_64 random(99);
    for (int i = 0; i < 100000; ++i) {
        const auto signExponent = static_cast<std::uint16_t>(random());
        const int decimals = 1 + static_cast<int>(random() % 7);
        const std::u16string text
            = FormatCoordinate(decimals, ExtendedFromBits(signExponent, random()));
        EXPECT_GE(text.size(), static_cast<std::size_t>(decimals + 2));
    }
}

TEST(FormatCoordinate, AgreesWithCorrectRoundingAwayFromDecimalTies)
{
    std::mt19937_64 random(31337);
    char expected[64];
    int compared = 0;
    for (int i = 0; i < 200000; ++i) {
        const Extended x = std::ldexp(static_cast<Extended>(random()), int(random() % 77) - 124)
            * (random() % 2 ? 1 : -1);
        // The 17-decimal rounding may differ from one correct rounding within 1e-11 of a tie.
        std::snprintf(expected, sizeof expected, "%.14Lf", x);
        const long tail = std::atol(std::strchr(expected, '.') + 7);
        if (std::abs(tail - 50000000) <= 1000)
            continue;
        std::snprintf(expected, sizeof expected, "%.6Lf", x);
        ASSERT_EQ(Narrow(FormatCoordinate(6, x)), expected);
        ++compared;
    }
    EXPECT_GT(compared, 199000);
}

TEST(FormatCoordinate, RoundTripsThroughParseDecimalAsTheValueRoundedToSixDecimals)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    std::mt19937_64 random(4242);
    for (int i = 0; i < 100000; ++i) {
        const Extended x = std::ldexp(static_cast<Extended>(random()), -64) * 360 - 180;
        const std::string text = Narrow(FormatCoordinate(6, x));
        const Extended back = ParseDecimal(Widen(text));
        const Extended spelled = strtold_l(text.c_str(), nullptr, c);
        ASSERT_EQ(std::memcmp(&back, &spelled, 10), 0) << text;
        ASSERT_EQ(FormatCoordinate(6, back), Widen(text));
    }
    freelocale(c);
}

std::string Digits(const DecimalDigits &g)
{
    return std::string(g.Digits.data(), g.Count + 1);
}

TEST(GenerateDigits, RoundsHalfUpLookingOnlyAtTheNextDigit)
{
    const struct
    {
        Extended a;
        int m;
        const char *expected;
    } rows[] = {
        {0.5L, 1, "01"},
        {0.25L, 2, "003"},
        {0.25L - 0x1p-60L, 2, "003"}, // 17 decimals first make it a tie
        {0.2499999999999999L, 2, "002"},
        {9.9999995L, 7, "10000000"}, // the carry reaches the carry digit
        {10.7L, 2, "107"},
        {0, 3, "0000"},
        {1.5L, 20, "015000000000000000000"},
        {0.12345678901234567891L, 19, "00123456789012345680"},
        {15.999999999999999999L, 1, "16"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(Digits(GenerateDigits(row.a, row.m)), row.expected) << row.expected;
}

} // namespace
} // namespace carteva
