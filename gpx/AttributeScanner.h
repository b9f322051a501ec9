// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace carteva {

// Counts the attributes of each start tag in the raw bytes of an XML file, ahead of the parser.
// libxml2 2.9 compares a start tag's attributes pairwise for duplicates before any callback
// sees the element, so one element with 200,000 of them keeps it busy for half a minute: such a
// tag must be refused before the parser reads it.
//
// The scan is lexical: it follows tags, quotes, comments, CDATA sections, processing
// instructions and declarations, counting an attribute for each "=" outside quotes in a start
// tag, and lines at each LF. Files in UTF-16 (told by their first bytes) are scanned by code
// unit. Other encodings keep ASCII's bytes for markup, so the count holds for them too.
class AttributeScanner
{
public:
    explicit AttributeScanner(std::size_t limit)
        : limit_(limit)
    { }

    // Scans the next bytes of the file. Returns how many of them may go to the parser: all of
    // them, or those before the start tag that passed the limit (0 once the limit was passed).
    std::size_t Scan(const char *bytes, std::size_t size) noexcept;
    bool Exceeded() const { return exceeded_; }
    // The line, counted from 1, where that start tag begins.
    long Line() const { return tagLine_; }

private:
    enum class State : std::uint8_t {
        Text,
        AfterOpen, // "<"
        StartTag,
        TagQuote,
        EndTag,
        Bang, // "<!"
        BangDash, // "<!-"
        Comment,
        CData,
        Instruction,
        Declaration,
        DeclarationQuote
    };

    // Scans `size` code units, each as ASCII (others as a letter), from file offset `offset`.
    void ScanUnits(const unsigned char *units, std::size_t size, std::uint64_t offset) noexcept;
    void Step(unsigned char unit, std::uint64_t offset) noexcept;

    std::size_t limit_;
    State state_ = State::Text;
    unsigned char quote_ = 0;
    int run_ = 0; // "-" or "]" just before, in a comment or a CDATA section
    std::size_t attributes_ = 0;
    std::uint64_t tagOffset_ = 0; // of the current start tag's "<"
    long tagLine_ = 0;
    long line_ = 1;
    std::uint64_t scanned_ = 0; // bytes
    bool exceeded_ = false;

    // UTF-16: 0 undecided, 1 single bytes, 2 little-endian units, 3 big-endian units.
    int form_ = 0;
    std::string pending_; // bytes not yet a whole unit, or too few to decide the form
    std::basic_string<unsigned char> units_;
};

} // namespace carteva
