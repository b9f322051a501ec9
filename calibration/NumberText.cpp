// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/NumberText.h"

#include "calibration/CheckedMath.h"
#include "calibration/DecimalDigits.h"
#include "calibration/Errors.h"
#include "calibration/PowerTables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

// Characters are compared as whole UTF-16 code units: anything outside ASCII breaks the grammar.
namespace carteva {

namespace {

constexpr std::uint16_t SignBit = 0x8000;
constexpr std::uint16_t ExponentMask = 0x7FFF;
constexpr int ExponentBias = 16383;
constexpr std::uint64_t IntegerBit = 0x8000000000000000ull;

template<typename Char> bool IsDigit(Char c)
{
    return c >= '0' && c <= '9';
}

// ---- Reading decimal text ----------------------------------------------------------------------

// No text in memory holds this many digits, so saturating here never changes which side of
// ±DecimalExponentLimit an exponent lands on, and nothing wraps around.
constexpr std::int64_t CountLimit = 100'000'000'000'000'000;

struct DecimalShape
{
    bool Complete = false;
    bool Negative = false;
    std::int64_t Exponent = 0; // the exponent's value minus the count of fraction digits
};

// m = m × 10 + digit, each step rounded to extended. Integers stay exact in extended below 2^64,
// so an unsigned 64-bit accumulator gives the same bits until it would pass that bound.
class DigitAccumulator
{
public:
    void Add(unsigned digit)
    {
        if (!wide_) [[likely]] {
            std::uint64_t next;
            if (!__builtin_mul_overflow(exact_, 10u, &next)
                && !__builtin_add_overflow(next, digit, &next)) {
                exact_ = next;
                return;
            }
            value_ = static_cast<Extended>(exact_);
            wide_ = true;
        }
        value_ = CheckedAdd(CheckedMul(value_, 10), static_cast<Extended>(digit));
    }

    Extended Value() const { return wide_ ? value_ : static_cast<Extended>(exact_); }

private:
    std::uint64_t exact_ = 0;
    Extended value_ = 0;
    bool wide_ = false;
};

struct IgnoreDigits
{
    void Add(unsigned) { }
};

// Reads the text by the grammar of a complete number, handing every integer and fraction digit to
// the sink, and stops at the first character that does not fit. The grammar is ASCII, so UTF-8
// bytes and UTF-16 units of anything else (negative as char, or beyond 0x7F) stop it alike.
template<typename Char, typename DigitSink>
DecimalShape ScanDecimal(std::basic_string_view<Char> text, DigitSink &digits)
{
    DecimalShape shape;
    const Char *p = text.data();
    const Char *const end = p + text.size();

    while (p != end && *p == ' ')
        ++p;
    if (p != end && (*p == '+' || *p == '-'))
        shape.Negative = *p++ == '-';
    if (p == end)
        return shape;

    while (p != end && IsDigit(*p))
        digits.Add(static_cast<unsigned>(*p++ - '0'));
    std::int64_t fractionDigits = 0;
    if (p != end && *p == '.') {
        ++p;
        while (p != end && IsDigit(*p)) {
            digits.Add(static_cast<unsigned>(*p++ - '0'));
            fractionDigits = std::min(fractionDigits + 1, CountLimit);
        }
    }
    std::int64_t exponent = 0;
    if (p != end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool negativeExponent = false;
        if (p != end && (*p == '+' || *p == '-'))
            negativeExponent = *p++ == '-';
        if (p == end || !IsDigit(*p))
            return shape;
        while (p != end && IsDigit(*p))
            exponent = std::min(exponent * 10 + (*p++ - '0'), CountLimit);
        if (negativeExponent)
            exponent = -exponent;
    }
    if (p != end)
        return shape;

    shape.Complete = true;
    shape.Exponent = exponent - fractionDigits;
    return shape;
}

// The usual shape of a coordinate, "-49.9397449": a minus sign or none, then at most 19 digits
// with a point after the first or none. Its digits are an exact 64-bit integer, so the general
// reading below would scale them once, as this does: the same bits, for a third of the work,
// without the overflow tests that longer digit strings need. `Plain` is false for any other
// text, which the general reading then takes.
struct PlainDecimal
{
    bool Plain = false;
    bool Negative = false;
    std::uint64_t Digits = 0;
    int FractionDigits = 0;
};

// Adds the digits from p on to `digits` and returns where they end.
template<typename Char>
const Char *ReadPlainDigits(const Char *p, const Char *end, std::uint64_t &digits)
{
    for (; p != end; ++p) {
        const auto digit = static_cast<std::uint32_t>(*p) - '0'; // wraps for anything below '0'
        if (digit > 9)
            break;
        digits = digits * 10 + digit; // wraps only past 19 digits
    }
    return p;
}

template<typename Char> PlainDecimal ScanPlainDecimal(std::basic_string_view<Char> text)
{
    constexpr std::ptrdiff_t MaxDigits = 19; // 10^19 - 1 < 2^64
    PlainDecimal number;
    const Char *p = text.data();
    const Char *const end = p + text.size();
    number.Negative = p != end && *p == '-';
    if (number.Negative)
        ++p;
    const Char *const integer = p;
    p = ReadPlainDigits(p, end, number.Digits);
    std::ptrdiff_t count = p - integer;
    if (count == 0)
        return {};
    if (p != end) {
        if (*p != '.')
            return {};
        const Char *const fraction = ++p;
        p = ReadPlainDigits(p, end, number.Digits);
        if (p != end)
            return {};
        number.FractionDigits = static_cast<int>(std::min(p - fraction, MaxDigits + 1));
        count += p - fraction;
    }
    number.Plain = count <= MaxDigits;
    return number;
}

template<typename Char> Extended ParseDecimalText(std::basic_string_view<Char> text)
{
    const PlainDecimal plain = ScanPlainDecimal(text);
    if (plain.Plain) {
        const Extended v
            = ScaleByPowerOfTen(static_cast<Extended>(plain.Digits), -plain.FractionDigits);
        return plain.Negative ? -v : v;
    }
    DigitAccumulator m;
    const DecimalShape shape = ScanDecimal(text, m);
    if (!shape.Complete)
        return m.Value(); // malformed: the digits read so far as one whole number
    const auto e = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(shape.Exponent, -DecimalExponentLimit, DecimalExponentLimit));
    const Extended v = ScaleByPowerOfTen(m.Value(), e);
    return shape.Negative ? -v : v;
}

template<typename Char> bool IsDecimalNumberText(std::basic_string_view<Char> text)
{
    IgnoreDigits digits;
    return ScanDecimal(text, digits).Complete;
}

// ---- Writing decimal text ----------------------------------------------------------------------

// Sign, at most 36 integer digits and a carry digit, point, at most 7 decimals.
using TextBuffer = std::array<char16_t, 48>;

std::u16string RightAligned(std::u16string_view word, int width)
{
    std::u16string text(static_cast<std::size_t>(std::max(0, width - int(word.size()))), u' ');
    text += word;
    return text;
}

// |x|, with unnormals and pseudo-denormals rewritten in the usual encoding of the number their bits
// spell. Only a damaged calibration file holds them, and the x87 unit refuses arithmetic on
// unnormals; showing them must not fail.
Extended CanonicalMagnitude(Extended x)
{
    int exponent = SignExponentBits(x) & ExponentMask;
    std::uint64_t significand = SignificandBits(x);
    if (significand == 0)
        return 0;
    if (exponent == 0 && (significand & IntegerBit) != 0) {
        exponent = 1; // a pseudo-denormal has the value of the smallest normal exponent
    } else if (exponent != 0 && (significand & IntegerBit) == 0) {
        const int shift = std::min(std::countl_zero(significand), exponent - 1);
        significand <<= shift;
        exponent -= shift;
        if ((significand & IntegerBit) == 0)
            exponent = 0; // too small for a normal number: a denormal
    }
    return ExtendedFromBits(static_cast<std::uint16_t>(exponent), significand);
}

int BinaryExponent(Extended a)
{
    return (SignExponentBits(a) & ExponentMask) - ExponentBias;
}

void AppendDigits(char16_t *&out, const char *first, const char *last)
{
    out = std::copy(first, last, out);
}

// A space or "-", d.dE+eeee: ten characters.
std::u16string ExponentForm(bool negative, Extended a, int k)
{
    const DecimalDigits g = GenerateDigits(a, 2);
    const char *lead = g.HasCarry() ? &g.Digits[0] : &g.Digits[1];
    int exponent = g.HasCarry() ? k + 1 : k;

    std::array<char16_t, 10> text {};
    text[0] = negative ? u'-' : u' ';
    text[1] = static_cast<char16_t>(lead[0]);
    text[2] = u'.';
    text[3] = static_cast<char16_t>(lead[1]);
    text[4] = u'E';
    text[5] = u'+';
    for (int i = 9; i >= 6; --i) {
        text[i] = static_cast<char16_t>(u'0' + exponent % 10);
        exponent /= 10;
    }
    return std::u16string(text.data(), text.size());
}

} // namespace

// ---- Scaling -----------------------------------------------------------------------------------

Extended ScaleByPowerOfTen(Extended value, std::int32_t e)
{
    if (e == 0)
        return value;
    if (e >= DecimalExponentLimit)
        return std::numeric_limits<Extended>::infinity();
    if (e <= -DecimalExponentLimit)
        return 0;

    // The factors go small, medium, large, each step rounded: the result depends on that order.
    const int p = e < 0 ? -e : e;
    const int medium = (p / 32) % 16;
    if (e > 0) {
        value = CheckedMul(value, SmallPowersOfTen[p % 32]);
        if (medium != 0)
            value = CheckedMul(value, MediumPowersOfTen[medium]);
        if (p >= 512)
            value = CheckedMul(value, LargePowersOfTen[p / 512]);
    } else {
        value = CheckedDiv(value, SmallPowersOfTen[p % 32]);
        if (medium != 0)
            value = CheckedDiv(value, MediumPowersOfTen[medium]);
        if (p >= 512)
            value = CheckedDiv(value, LargePowersOfTen[p / 512]);
    }
    return value;
}

// ---- Decimal text ------------------------------------------------------------------------------

Extended ParseDecimal(std::u16string_view text)
{
    return ParseDecimalText(text);
}

Extended ParseDecimal(std::string_view text)
{
    return ParseDecimalText(text);
}

bool IsDecimalNumber(std::u16string_view text)
{
    return IsDecimalNumberText(text);
}

bool IsDecimalNumber(std::string_view text)
{
    return IsDecimalNumberText(text);
}

std::u16string FormatCoordinate(int decimals, Extended value)
{
    const int d = std::clamp(decimals, 1, 7);
    const int width = d + 2;
    const bool negative = (SignExponentBits(value) & SignBit) != 0;

    if ((SignExponentBits(value) & ExponentMask) == ExponentMask) {
        // Only the upper half of the significand decides between infinity and NaN.
        if ((SignificandBits(value) >> 32) == 0x80000000u)
            return RightAligned(negative ? u"-Inf" : u"+Inf", width);
        return RightAligned(u"Nan", width);
    }

    // Scale a into [1, 16) by powers of ten just below its binary exponent; 19728 / 65536 is
    // log10(2) rounded down, so no step overshoots.
    Extended a = CanonicalMagnitude(value);
    int k = 0;
    if (!(a < 10)) {
        for (;;) {
            const int q = (BinaryExponent(a) * 19728) >> 16; // floor, also for negative values
            if (q == 0)
                break;
            k += q;
            a = ScaleByPowerOfTen(a, -q);
        }
    }
    if (k > 35)
        return ExponentForm(negative, a, k);

    const int n = k + 1; // integer digits
    const DecimalDigits g = GenerateDigits(a, n + d);
    TextBuffer text;
    char16_t *out = text.data();
    if (negative)
        *out++ = u'-';
    const char *digits = g.Digits.data();
    const char *integerBegin = g.HasCarry() ? digits : digits + 1;
    AppendDigits(out, integerBegin, digits + n + 1);
    *out++ = u'.';
    AppendDigits(out, digits + n + 1, digits + n + 1 + d);
    return std::u16string(text.data(), out);
}

// ---- Integer text ------------------------------------------------------------------------------

std::int32_t ParseInteger(std::u16string_view text)
{
    const auto notAnInteger = [text] { return EConvertError::NotAnInteger(text); };
    const char16_t *p = text.data();
    const char16_t *const end = p + text.size();

    while (p != end && *p == u' ')
        ++p;
    bool negative = false;
    if (p != end && (*p == u'+' || *p == u'-'))
        negative = *p++ == u'-';

    bool hexadecimal = false;
    if (p != end && (*p == u'$' || *p == u'x' || *p == u'X')) {
        hexadecimal = true;
        ++p;
    } else if (end - p >= 2 && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X')) {
        hexadecimal = true;
        p += 2;
    }
    if (p == end)
        throw notAnInteger();

    if (hexadecimal) {
        std::uint32_t value = 0;
        for (; p != end; ++p) {
            unsigned digit;
            if (IsDigit(*p))
                digit = *p - u'0';
            else if (*p >= u'A' && *p <= u'F')
                digit = *p - u'A' + 10;
            else if (*p >= u'a' && *p <= u'f')
                digit = *p - u'a' + 10;
            else
                throw notAnInteger();
            if (value > 0x0FFFFFFFu)
                throw notAnInteger();
            value = value * 16 + digit;
        }
        // Eight hexadecimal digits are a two's-complement bit pattern; '-' negates modulo 2^32.
        if (negative)
            value = 0u - value;
        return static_cast<std::int32_t>(value);
    }

    const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
    std::uint32_t magnitude = 0;
    for (; p != end; ++p) {
        if (!IsDigit(*p))
            throw notAnInteger();
        const unsigned digit = *p - u'0';
        if (magnitude > (limit - digit) / 10)
            throw notAnInteger();
        magnitude = magnitude * 10 + digit;
    }
    return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

std::u16string FormatInteger(std::int32_t value)
{
    std::array<char16_t, 11> text {};
    char16_t *out = text.data() + text.size();
    auto magnitude
        = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        *--out = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--out = u'-';
    return std::u16string(out, text.data() + text.size());
}

} // namespace carteva
