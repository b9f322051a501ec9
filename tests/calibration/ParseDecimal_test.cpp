// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "calibration/Utf.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace carteva {
namespace {

constexpr Extended kInf = std::numeric_limits<Extended>::infinity();

std::u16string Widen(const std::string &text)
{
    return std::u16string(text.begin(), text.end());
}

std::string Narrow(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

::testing::AssertionResult SameBits(Extended actual, Extended expected)
{
    if (SignExponentBits(actual) == SignExponentBits(expected)
        && SignificandBits(actual) == SignificandBits(expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << std::hex << SignExponentBits(actual) << ':' << SignificandBits(actual) << " instead of "
        << SignExponentBits(expected) << ':' << SignificandBits(expected);
}

TEST(ParseDecimal, ReadsCompleteNumbers)
{
    const struct
    {
        std::u16string_view text;
        Extended expected;
    } rows[] = {
        {u"50.0833333", 500833333.0L / 10000000.0L},
        {u"-49.9397449", -499397449.0L / 10000000.0L},
        {u"1234567890.123456789", 1234567890123456789.0L / 1e9L}, // 19 digits
        {u"9999999999999999999", 9999999999999999999.0L},
        {u"99999999999999999999", 99999999999999999999.0L}, // 20: rounded from 2^64 on
        {u"-0.0", -0.0L},
        {u"007", 7},
        {u"  -12.5", -12.5L},
        {u"1.5E-3", 15.0L / 10000.0L},
        {u"1e5", 100000},
        {u"+5", 5},
        {u".5", 0.5L},
        {u"5.", 5},
        {u"", 0},
        {u".", 0},
        {u"E5", 0},
        {u"-0", -0.0L},
        {u"-.", -0.0L},
        {u"-E5", -0.0L},
        {u"1e5120", kInf},
        {u"0e5120", kInf},
        {u"-0e5120", -kInf},
        {u"1e-5120", 0},
        {u"-1e-5120", -0.0L},
        {u"18446744073709551615", 0x1p64L - 1},
        {u"18446744073709551617", 0x1p64L}, // a tie past 2^64 goes to even
        {u"18446744073709551619", 0x1p64L + 4}, // and so does the next one
        {u"123456789012345678901234",
         ExtendedFromBits(0x404B, 0xD124D8F8850364B5)}, // rounded digit steps
        {u"1e4000", ExtendedFromBits(0x73E6, 0xD1BA8323FE558C62)}, // not the nearest to 10^4000
        {u"0.1e-4949", ExtendedFromBits(0x0000, 3)}, // subnormal, no error
    };
    for (const auto &row : rows)
        EXPECT_TRUE(SameBits(ParseDecimal(row.text), row.expected)) << Narrow(row.text);
}

TEST(ParseDecimal, ReturnsTheDigitsReadSoFarForMalformedText)
{
    const struct
    {
        std::u16string_view text;
        Extended expected;
    } rows[] = {
        {u"50,5", 50},     {u"-12.5x", 125}, {u"-12.5 ", 125}, {u"1.5e3x", 15}, {u"12e", 12},
        {u"-12.5e+", 125}, {u"1.2.3", 12},   {u"abc", 0},      {u" ", 0},       {u"-", 0},
        {u"--5", 0},       {u"\t5", 0},      {u"+", 0},        {u"1e5.0", 1},
    };
    for (const auto &row : rows)
        EXPECT_TRUE(SameBits(ParseDecimal(row.text), row.expected)) << Narrow(row.text);
}

TEST(ParseDecimal, TellsCompleteNumbersByTheGrammar)
{
    for (std::u16string_view text :
         {u"5", u"+5", u" -12.5", u".5", u"5.", u".", u"-.", u"E5", u"1.5e-3", u"  1e+5", u"007",
          u"-12.5", u"-.5", u"12345678901234567890.5"})
        EXPECT_TRUE(IsDecimalNumber(text)) << Narrow(text);
    for (std::u16string_view text : {u"", u" ", u"-", u"5e", u"5 ", u"50,5", u"1.2.3", u"--5",
                                     u"\t5", u"5e+", u"e", u"+-5", u"1e5.0", u"-5-", u"5.-"})
        EXPECT_FALSE(IsDecimalNumber(text)) << Narrow(text);
}

TEST(ParseDecimal, BreaksTheGrammarOnEveryCharacterOutsideAscii)
{
    const struct
    {
        std::u16string_view text;
        Extended expected;
    } rows[] = {
        {u"\u0130", 0}, // low byte '0'
        {u"5\u0130", 5}, // not 50
        {u"\u0120"
         "5",
         0}, // low byte ' '
        {u"-5\u0100", 5}, // low byte 0 does not end the text
        {std::u16string_view(u"-5\0", 3), 5}, // neither does a NUL
        {u"\u22125", 0}, // minus sign
        {u"\uFF15", 0}, // fullwidth 5
        {u"1\u0165"
         "3",
         1}, // low byte 'e'
        {u"1\u012E"
         "5",
         1}, // low byte '.'
    };
    for (const auto &row : rows) {
        EXPECT_TRUE(SameBits(ParseDecimal(row.text), row.expected)) << Narrow(row.text);
        EXPECT_FALSE(IsDecimalNumber(row.text)) << Narrow(row.text);
    }
}

TEST(ParseDecimal, CountsExponentsAndFractionDigitsWithoutWrappingAround)
{
    const std::u16string zeros(6000, u'0');
    EXPECT_EQ(ParseDecimal(u"1e4294967297"), kInf); // 2^32 + 1
    EXPECT_EQ(ParseDecimal(u"1e99999999999999999999999999999"), kInf);
    EXPECT_TRUE(SameBits(ParseDecimal(u"-1e-4294967295"), -0.0L));
    EXPECT_EQ(ParseDecimal(u"0." + zeros.substr(0, 200) + u"1e200"), ParseDecimal(u"0.1"));
    EXPECT_EQ(ParseDecimal(u"0." + zeros + u"25e6002"), 25);
    EXPECT_TRUE(SameBits(ParseDecimal(u"-0." + zeros + u"1"), -0.0L));
}

TEST(ParseDecimal, RaisesOverflowBeyondTheExtendedRange)
{
    EXPECT_THROW(ParseDecimal(u"1e5119"), EOverflow);
    EXPECT_THROW(ParseDecimal(u"2e4932"), EOverflow);
    EXPECT_THROW(ParseDecimal(std::u16string(4933, u'9')), EOverflow);
    EXPECT_THROW(ParseDecimal(std::u16string(4933, u'9') + u"x"), EOverflow);
    EXPECT_TRUE(std::isfinite(ParseDecimal(std::u16string(4933, u'1'))));
    EXPECT_TRUE(SameBits(ParseDecimal(u"1.18973149535723176502e4932"),
                         ExtendedFromBits(0x7FFE, 0xFFFFFFFFFFFFFFFC)));
}

// For at most 19 significant digits and |e| <= 27 the accumulator and the power are exact, so
// only the last step rounds: the result is the correctly rounded value the C library gives.
TEST(ParseDecimal, MatchesCorrectRoundingForNineteenDigitsAndSmallExponents)
{
    const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    std::mt19937_64 random(20240611);
    char text[64];
    for (int i = 0; i < 300000; ++i) {
        const int digits = 1 + static_cast<int>(random() % 19);
        std::uint64_t mantissa = random() % 10'000'000'000'000'000'000ull;
        for (int d = digits; d < 19; ++d)
            mantissa /= 10;
        std::string whole = std::to_string(mantissa);
        const int fractionDigits = static_cast<int>(random() % (whole.size() + 1));
        const int exponent = static_cast<int>(random() % 55) - 27 + fractionDigits;
        whole.insert(whole.size() - fractionDigits, ".");
        std::snprintf(text, sizeof text, "%s%se%d", random() % 2 ? "-" : "", whole.c_str(),
                      exponent);
        const Extended expected = strtold_l(text, nullptr, c);
        ASSERT_TRUE(SameBits(ParseDecimal(Widen(text)), expected)) << text;
    }
    freelocale(c);
}

TEST(ParseDecimal, FailsOnlyWithOverflowWhateverTheText)
{
    const std::u16string alphabet = u"0123456789 +-.eE,x\t\u0130\u0120\u0100";
    std::mt19937 random(7);
    for (int i = 0; i < 100000; ++i) {
        std::u16string text(random() % 12, u' ');
        for (char16_t &c : text)
            c = alphabet[random() % alphabet.size()];
        try {
            ParseDecimal(text);
        } catch (const EOverflow &) { }
        IsDecimalNumber(text);
    }
}

// The UTF-8 overloads read the same text as the same number, bit for bit, and fail alike.
TEST(ParseDecimal, ReadsUtf8TextAsItsUtf16Spelling)
{
    const std::u16string alphabet = u"0123456789 +-.eE,\u0130\u00E9\uFF15\u2212";
    const std::u16string surrogatePair = u"\U0001F600";
    std::mt19937 random(11);
    const auto outcome = [](auto text) -> std::pair<Extended, bool> {
        try {
            return {ParseDecimal(text), IsDecimalNumber(text)};
        } catch (const EOverflow &) {
            return {-1, IsDecimalNumber(text)};
        }
    };
    for (int i = 0; i < 100000; ++i) {
        std::u16string text;
        for (std::size_t n = random() % 24; n > 0; --n)
            text += random() % 50 == 0 ? surrogatePair
                                       : std::u16string(1, alphabet[random() % alphabet.size()]);
        const auto [wide, wideComplete] = outcome(std::u16string_view(text));
        const auto [narrow, narrowComplete] = outcome(std::string_view(ToUtf8(text)));
        ASSERT_TRUE(SameBits(narrow, wide)) << ToUtf8(text);
        ASSERT_EQ(narrowComplete, wideComplete) << ToUtf8(text);
    }
}

} // namespace
} // namespace carteva
