// SPDX-License-Identifier: GPL-2.0-or-later
// ParseInteger against a plain reference: accepted texts give the reference's value, refused ones
// throw EConvertError with the text in its message, and FormatInteger reads back.
#include "FuzzInput.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "calibration/Utf.h"

#include <optional>

using namespace carteva;

namespace {

std::optional<int> DigitValue(char16_t c, bool hexadecimal)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (hexadecimal && c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (hexadecimal && c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return std::nullopt;
}

// Spaces, a sign, an optional hexadecimal prefix, digits to the end; the value in 64 bits,
// saturated far beyond what either range accepts.
std::optional<std::int32_t> Reference(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    bool hexadecimal = false;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hexadecimal = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0'
               && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hexadecimal = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const std::optional<int> digit = DigitValue(text[i], hexadecimal);
        if (!digit)
            return std::nullopt;
        value = std::min<std::int64_t>(value * (hexadecimal ? 16 : 10) + *digit, 1LL << 40);
    }
    if (hexadecimal) {
        if (value > 0xFFFFFFFFLL)
            return std::nullopt;
        const auto bits = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzz::TextFromBytes(data, size);
    const std::optional<std::int32_t> expected = Reference(text);
    std::optional<std::int32_t> got;
    try {
        got = ParseInteger(text);
    } catch (const EConvertError &error) {
        // what() ends at a NUL character of the text.
        const std::string message = "''" + ToUtf8(text) + "'' is not a valid integer value";
        if (error.what() != message.substr(0, message.find('\0')))
            fuzz::Broken("conversion error without the text in its message");
    }
    if (got != expected)
        fuzz::Broken("ParseInteger differs from the reference");
    if (got && ParseInteger(FormatInteger(*got)) != *got)
        fuzz::Broken("FormatInteger does not read back");
    return 0;
}
