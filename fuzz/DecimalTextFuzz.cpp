// SPDX-License-Identifier: GPL-2.0-or-later
// ParseDecimal and IsDecimalNumber on any text: only the overflow error may escape, the two agree
// on the sign of a complete number, and a formatted number reads back to the same text.
#include "FuzzInput.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"

#include <cmath>
#include <optional>

using namespace carteva;

namespace {

bool NegativeSign(std::u16string_view text)
{
    const std::size_t first = text.find_first_not_of(u' ');
    return first != std::u16string_view::npos && text[first] == u'-';
}

std::optional<Extended> Parse(std::u16string_view text)
{
    try {
        return ParseDecimal(text);
    } catch (const EOverflow &) {
        return std::nullopt;
    }
}

void CheckFormatting(Extended value)
{
    for (int decimals = 1; decimals <= 7; ++decimals) {
        const std::u16string text = FormatCoordinate(decimals, value);
        if (text.size() < std::size_t(decimals + 2))
            fuzz::Broken("formatted text narrower than its field");
        if (!std::isfinite(value))
            continue;
        if (!IsDecimalNumber(text))
            fuzz::Broken("formatted text is not a complete number");
        const std::optional<Extended> again = Parse(text);
        if (!again)
            fuzz::Broken("formatted text overflows when read back");
        // Below 10^11 every digit shown is significant; above, the integer part has more digits
        // than an extended number holds, or the exponent form shows only two.
        if (std::fabs(value) >= 1e11L)
            continue;
        if (FormatCoordinate(decimals, *again) != text)
            fuzz::Broken("formatted text reads back to a different text");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzz::TextFromBytes(data, size);
    const bool complete = IsDecimalNumber(text);
    const std::optional<Extended> value = Parse(text);
    if (!value)
        return 0;
    if (std::isnan(*value))
        fuzz::Broken("NaN from text");
    if (!complete && std::signbit(*value))
        fuzz::Broken("malformed text gave a negative accumulator");
    if (complete && std::signbit(*value) != NegativeSign(text))
        fuzz::Broken("sign of a complete number lost");
    CheckFormatting(*value);
    return 0;
}
