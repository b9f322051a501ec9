// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ShortestText.h"

#include <charconv>

namespace carteva {

std::string ShortestText(double value)
{
    // The longest shortest form is 24 characters ("-2.2250738585072014e-308").
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace carteva
