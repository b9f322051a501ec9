// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"
#include "calibration/NumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace carteva {
namespace {

TEST(ParseInteger, ReadsDecimalAndHexadecimalText)
{
    const struct
    {
        std::u16string_view text;
        std::int32_t expected;
    } rows[] = {
        {u"12", 12},
        {u"  12", 12},
        {u"+12", 12},
        {u"012", 12},
        {u"-0", 0},
        {u"0", 0},
        {u"2147483647", 2147483647},
        {u"-2147483648", INT32_MIN},
        {u"000000000002147483647", 2147483647},
        {u"$1F", 31},
        {u"x1f", 31},
        {u"X1F", 31},
        {u"0x1F", 31},
        {u"0X1f", 31},
        {u"-$1F", -31},
        {u"+x1F", 31},
        {u"$FFFFFFFF", -1},
        {u"-$FFFFFFFF", 1},
        {u"-$80000000", INT32_MIN},
        {u"$7fffffff", INT32_MAX},
        {u"$000000000010", 16},
    };
    for (const auto &row : rows)
        EXPECT_EQ(ParseInteger(row.text), row.expected)
            << std::string(row.text.begin(), row.text.end());
}

TEST(ParseInteger, RejectsWhatIsNotAnIntegerQuotingTheWholeText)
{
    const struct
    {
        std::u16string_view text;
        const char *message;
    } rows[] = {
        {u"", "'''' is not a valid integer value"},
        {u"12 ", "''12 '' is not a valid integer value"},
        {u"  ", "''  '' is not a valid integer value"},
        {u"2147483648", "''2147483648'' is not a valid integer value"},
        {u"-2147483649", "''-2147483649'' is not a valid integer value"},
        {u"99999999999", "''99999999999'' is not a valid integer value"},
        {u"$100000000", "''$100000000'' is not a valid integer value"},
        {u"$", "''$'' is not a valid integer value"},
        {u"0x", "''0x'' is not a valid integer value"},
        {u"-", "''-'' is not a valid integer value"},
        {u"1.5", "''1.5'' is not a valid integer value"},
        {u"1e3", "''1e3'' is not a valid integer value"},
        {u"+-5", "''+-5'' is not a valid integer value"},
        {u"- 5", "''- 5'' is not a valid integer value"},
        {u"$1G", "''$1G'' is not a valid integer value"},
        {u"0x-1", "''0x-1'' is not a valid integer value"},
        {u"\t1", "''\t1'' is not a valid integer value"},
        {u"\u0130", "''\xC4\xB0'' is not a valid integer value"}, // low byte '0'
        {u"1\u0100", "''1\xC4\x80'' is not a valid integer value"},
        {u"\u0120"
         "1",
         "''\xC4\xA0"
         "1'' is not a valid integer value"},
    };
    for (const auto &row : rows) {
        try {
            ParseInteger(row.text);
            ADD_FAILURE() << row.message;
        } catch (const EConvertError &error) {
            EXPECT_STREQ(error.what(), row.message);
        }
    }
}

TEST(ParseInteger, RoundTripsEveryFormattedInteger)
{
    std::mt19937 random(5);
    for (int i = 0; i < 100000; ++i) {
        const auto value = static_cast<std::int32_t>(random());
        ASSERT_EQ(ParseInteger(FormatInteger(value)), value);
    }
}

TEST(FormatInteger, WritesPlainDecimalDigits)
{
    EXPECT_EQ(FormatInteger(0), u"0");
    EXPECT_EQ(FormatInteger(-7), u"-7");
    EXPECT_EQ(FormatInteger(120) + u" x " + FormatInteger(45), u"120 x 45");
    EXPECT_EQ(FormatInteger(2147483647), u"2147483647");
    EXPECT_EQ(FormatInteger(INT32_MIN), u"-2147483648");
}

} // namespace
} // namespace carteva
