// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program keeps text as UTF-8 (files, messages) and as UTF-16 (what the window's text
// fields hold); these are the conversions between the two that plain C++ code needs.
namespace carteva {

struct Utf8Character
{
    char32_t CodePoint = 0;
    std::size_t Length = 0; // bytes; 0 when the text does not start with a valid sequence
};

// The character at the start of `text`. Overlong forms, surrogates, code points beyond U+10FFFF
// and sequences cut short are not valid.
Utf8Character DecodeUtf8(std::string_view text);

// UTF-16 code units that a valid sequence of `length` bytes takes.
constexpr std::size_t Utf16Units(std::size_t utf8Length)
{
    return utf8Length == 4 ? 2 : 1;
}

// Appends the UTF-8 bytes of a code point up to U+10FFFF.
void AppendUtf8(std::string &out, char32_t c);

// Lone surrogates, which UTF-8 cannot spell, become U+FFFD.
std::string ToUtf8(std::u16string_view text);

} // namespace carteva
