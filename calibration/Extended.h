// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

namespace carteva {

// Coordinates are x87 80-bit extended numbers, both in memory and in the calibration file.
using Extended = long double;

static_assert(std::numeric_limits<Extended>::digits == 64, "Extended needs a 64-bit significand");
static_assert(std::numeric_limits<Extended>::max_exponent == 16384,
              "Extended needs a 15-bit exponent");
static_assert(sizeof(Extended) >= 10, "Extended must hold the 10-byte x87 layout");

using ExtendedBytes = std::array<std::uint8_t, 10>;

// The first 10 bytes of a long double are the x87 layout, little-endian; copying bytes (never
// arithmetic) keeps every bit pattern, NaN payloads and unnormals included.
inline ExtendedBytes ExtendedToBytes(Extended value)
{
    ExtendedBytes bytes;
    std::memcpy(bytes.data(), &value, bytes.size());
    return bytes;
}

inline Extended ExtendedFromBytes(const std::uint8_t *bytes)
{
    Extended value = 0;
    std::memcpy(&value, bytes, sizeof(ExtendedBytes));
    return value;
}

inline Extended ExtendedFromBytes(const ExtendedBytes &bytes)
{
    return ExtendedFromBytes(bytes.data());
}

// The 64-bit significand (explicit integer bit at bit 63) and the sign-and-exponent word.
inline std::uint64_t SignificandBits(Extended value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline std::uint16_t SignExponentBits(Extended value)
{
    std::uint16_t bits;
    std::memcpy(&bits, reinterpret_cast<const unsigned char *>(&value) + 8, sizeof bits);
    return bits;
}

inline Extended ExtendedFromBits(std::uint16_t signExponent, std::uint64_t significand)
{
    ExtendedBytes bytes;
    std::memcpy(bytes.data(), &significand, 8);
    std::memcpy(bytes.data() + 8, &signExponent, 2);
    return ExtendedFromBytes(bytes);
}

} // namespace carteva
