// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ShortestText.h"

#include <charconv>
#include <cmath>

namespace carteva {

std::string ShortestText(double value)
{
    // The longest shortest form is 24 characters ("-2.2250738585072014e-308").
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string FixedText(double value, int decimals)
{
    // Room for any double in fixed notation (309 integer digits) and the decimals asked for.
    char buffer[400];
    if (!std::isfinite(value) || decimals < 0 || decimals > 60)
        return ShortestText(value);
    std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                                std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

} // namespace carteva
