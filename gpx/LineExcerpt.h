// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace carteva {

// The longest prefix of `utf8` that is at most `maxUnits` UTF-16 code units long and ends on a
// character boundary. Bytes that are not valid UTF-8, and NULs, come out as U+FFFD, so the result
// is always valid UTF-8 and safe in a C string.
std::string Utf16Prefix(std::string_view utf8, std::size_t maxUnits);

// The first bytes of a file that its encoding cannot decode, as libxml2 2.9 names them: up to
// four, from the first one that fails, "0xE9 0x22 0x2F 0x3E", and the line they stand in.
// `converted` when the encoding is not UTF-8 and a decoder ran. Empty bytes when everything
// decodes or the file cannot be read. windows-1252's five undefined bytes never decode.
struct Undecodable
{
    bool converted = false;
    std::string bytes;
    long line = 0;
};
// `encoding` is what the parser named (empty: UTF-8), as for LineExcerpt.
Undecodable FirstUndecodable(const std::filesystem::path &path, const std::string &encoding);
// True when libxml2's own decoder for `encoding` takes bytes FirstUndecodable refuses, so that a
// parse that went through may still have to fail.
bool DecodesUndefinedBytes(const std::string &encoding);

// The text of line `line` (counted from 1, lines end at LF) of the file, decoded with the
// libxml2 encoding `encoding` (empty: UTF-8), cut by Utf16Prefix. A byte-order mark is not part
// of the text; neither is the line end, and a CR ends the line too. Empty when the line does not
// exist or the file cannot be read.
std::string LineExcerpt(const std::filesystem::path &path, const std::string &encoding, long line,
                        std::size_t maxUnits);

} // namespace carteva
