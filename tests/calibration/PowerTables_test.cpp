// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "calibration/PowerTables.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace carteva {
namespace {

struct Pattern
{
    std::uint16_t signExponent;
    std::uint64_t significand;
};

::testing::AssertionResult HasBits(Extended value, Pattern expected)
{
    if (SignExponentBits(value) == expected.signExponent
        && SignificandBits(value) == expected.significand)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << std::hex << "bits " << SignExponentBits(value) << ':' << SignificandBits(value)
        << ", expected " << expected.signExponent << ':' << expected.significand;
}

TEST(PowerTables, HoldTheExtendedValueNearestToEachPower)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    const auto nearest
        = [c](int power) { return strtold_l(("1e" + std::to_string(power)).c_str(), nullptr, c); };
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(SmallPowersOfTen[i], nearest(i)) << i;
    for (int j = 1; j < 16; ++j)
        EXPECT_EQ(MediumPowersOfTen[j], nearest(32 * j)) << 32 * j;
    for (int k = 1; k < 10; ++k)
        EXPECT_EQ(LargePowersOfTen[k], nearest(512 * k)) << 512 * k;
    freelocale(c);
}

TEST(PowerTables, PinnedEntriesKeepTheirBitPatterns)
{
    EXPECT_TRUE(HasBits(SmallPowersOfTen[0], {0x3FFF, 0x8000000000000000}));
    EXPECT_TRUE(HasBits(SmallPowersOfTen[27], {0x4058, 0xCECB8F27F4200F3A})); // exact
    EXPECT_TRUE(HasBits(SmallPowersOfTen[28], {0x405C, 0x813F3978F8940984})); // rounded
    EXPECT_TRUE(HasBits(SmallPowersOfTen[31], {0x4065, 0xFC6F7C4045812296}));
    EXPECT_TRUE(HasBits(MediumPowersOfTen[1], {0x4069, 0x9DC5ADA82B70B59E}));
    EXPECT_TRUE(HasBits(MediumPowersOfTen[15], {0x4639, 0xB83ED8DC0795A262}));
    EXPECT_TRUE(HasBits(LargePowersOfTen[1], {0x46A3, 0xE319A0AEA60E91C7}));
    EXPECT_TRUE(HasBits(LargePowersOfTen[9], {0x7BCA, 0xAE3511626ED559F0}));
}

// Results of the stepwise scaling worked out by exact rational arithmetic; for these exponents a
// different order of the factors, or one correctly rounded power, gives other bits.
TEST(ScaleByPowerOfTen, AppliesSmallThenMediumThenLargeRoundingEachStep)
{
    const struct
    {
        Extended value;
        std::int32_t e;
        Pattern expected;
    } rows[] = {
        {1, 600, {0x47C8, 0x8EB39714297EFB27}},
        {1, -600, {0x3835, 0xE5A04AA62B553E9B}},
        {1, 2345, {0x5E6C, 0xF26C46DBAC7335D9}},
        {1, -2345, {0x2191, 0x872B310C2CE794F8}},
        {1, 4000, {0x73E6, 0xD1BA8323FE558C62}},
        {1, 4931, {0x7FFB, 0xAC23C22116CBF8A3}},
        {7, -4000, {0x0C1A, 0x88B5C51585510507}},
        {2, -4940, {0x0000, 0x0000000CC64F1CC4}}, // subnormal, no error
        {1, -4950, {0x0000, 0x0000000000000003}},
    };
    for (const auto &row : rows)
        EXPECT_TRUE(HasBits(ScaleByPowerOfTen(row.value, row.e), row.expected)) << row.e;
}

TEST(ScaleByPowerOfTen, SaturatesAtFiveThousandOneHundredTwentyAndOverflowsBelow)
{
    constexpr Extended kInf = std::numeric_limits<Extended>::infinity();
    const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
    EXPECT_THROW(ScaleByPowerOfTen(1, 5119), EOverflow);
    EXPECT_THROW(ScaleByPowerOfTen(2e-100L, 5032), EOverflow);
    EXPECT_TRUE(std::isfinite(ScaleByPowerOfTen(1e-4000L, 5119))); // each step stays in range
    EXPECT_EQ(ScaleByPowerOfTen(0, 5119), 0);
    EXPECT_EQ(ScaleByPowerOfTen(1, 5120), kInf);
    EXPECT_EQ(ScaleByPowerOfTen(0, 5120), kInf);
    EXPECT_EQ(ScaleByPowerOfTen(-3, 5120), kInf);
    EXPECT_EQ(ScaleByPowerOfTen(1, std::numeric_limits<std::int32_t>::max()), kInf);
    EXPECT_EQ(ScaleByPowerOfTen(1, -5119), 0);
    EXPECT_GT(ScaleByPowerOfTen(1e4900L, -5119), 0);
    EXPECT_TRUE(HasBits(ScaleByPowerOfTen(-1, -5120), {0x0000, 0}));
    EXPECT_TRUE(
        HasBits(ScaleByPowerOfTen(1e4900L, std::numeric_limits<std::int32_t>::min()), {0, 0}));
    EXPECT_TRUE(std::isnan(ScaleByPowerOfTen(nan, 0)));
    EXPECT_EQ(ScaleByPowerOfTen(-2.5L, 0), -2.5L);
}

} // namespace
} // namespace carteva
