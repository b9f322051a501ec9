// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/AttributeScanner.h"

#include <algorithm>
#include <cstring>

namespace carteva {

namespace {

bool StartsWith(const std::string &bytes, const char *prefix, std::size_t length)
{
    return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

} // namespace

std::size_t AttributeScanner::Scan(const char *bytes, std::size_t size) noexcept
{
    if (exceeded_)
        return 0;
    const std::uint64_t chunkStart = scanned_;
    scanned_ += size;
    try {
        if (form_ == 0) {
            pending_.append(bytes, size);
            if (pending_.size() < 2 && size != 0)
                return size;
            form_ = StartsWith(pending_, "\xFF\xFE", 2) || StartsWith(pending_, "<\0", 2) ? 2
                : StartsWith(pending_, "\xFE\xFF", 2) || StartsWith(pending_, "\0<", 2)  ? 3
                                                                                           : 1;
            if (form_ == 1) {
                ScanUnits(reinterpret_cast<const unsigned char *>(pending_.data()),
                          pending_.size(), scanned_ - pending_.size());
                pending_.clear();
            }
        } else if (form_ == 1) {
            ScanUnits(reinterpret_cast<const unsigned char *>(bytes), size, chunkStart);
        } else {
            pending_.append(bytes, size);
        }
        if (form_ >= 2) {
            // Each unit as its low byte when it is ASCII, else as a letter.
            const std::size_t whole = pending_.size() / 2;
            units_.resize(whole);
            for (std::size_t i = 0; i < whole; ++i) {
                const auto a = static_cast<unsigned char>(pending_[2 * i]);
                const auto b = static_cast<unsigned char>(pending_[2 * i + 1]);
                const unsigned unit = form_ == 2 ? a | b << 8 : b | a << 8;
                units_[i] = unit < 0x80 ? static_cast<unsigned char>(unit) : 'a';
            }
            ScanUnits(units_.data(), whole, scanned_ - pending_.size());
            pending_.erase(0, 2 * whole);
        }
    } catch (...) {
        // Without room to scan, the rest of the file goes to the parser unscanned.
        form_ = 1;
        pending_.clear();
        limit_ = SIZE_MAX;
        return size;
    }
    if (!exceeded_)
        return size;
    return tagOffset_ > chunkStart ? static_cast<std::size_t>(tagOffset_ - chunkStart) : 0;
}

void AttributeScanner::ScanUnits(const unsigned char *units, std::size_t size,
                                 std::uint64_t offset) noexcept
{
    const int width = form_ >= 2 ? 2 : 1;
    std::size_t i = 0;
    while (i < size && !exceeded_) {
        // Most of a file is text or quoted values: skip those to the next byte that matters.
        if (state_ == State::Text || state_ == State::TagQuote) {
            const unsigned char wanted = state_ == State::Text ? '<' : quote_;
            const auto *found
                = static_cast<const unsigned char *>(std::memchr(units + i, wanted, size - i));
            const std::size_t end = found ? static_cast<std::size_t>(found - units) : size;
            line_ += std::count(units + i, units + end, '\n');
            i = end;
            if (i == size)
                break;
        }
        Step(units[i], offset + i * width);
        ++i;
    }
}

void AttributeScanner::Step(unsigned char unit, std::uint64_t offset) noexcept
{
    if (unit == '\n')
        ++line_;
    switch (state_) {
    case State::Text:
        if (unit == '<') {
            state_ = State::AfterOpen;
            tagOffset_ = offset;
            tagLine_ = line_;
        }
        break;
    case State::AfterOpen:
        state_ = unit == '!' ? State::Bang
            : unit == '?'    ? State::Instruction
            : unit == '/'    ? State::EndTag
                             : State::StartTag;
        attributes_ = 0;
        if (state_ == State::StartTag)
            Step(unit, offset);
        break;
    case State::StartTag:
        if (unit == '"' || unit == '\'') {
            quote_ = unit;
            state_ = State::TagQuote;
        } else if (unit == '=') {
            if (++attributes_ > limit_)
                exceeded_ = true;
        } else if (unit == '>') {
            state_ = State::Text;
        }
        break;
    case State::TagQuote:
        if (unit == quote_)
            state_ = State::StartTag;
        break;
    case State::EndTag:
    case State::Instruction:
        if (unit == '>')
            state_ = State::Text;
        break;
    case State::Bang:
        state_ = unit == '-' ? State::BangDash : unit == '[' ? State::CData : State::Declaration;
        run_ = 0;
        if (state_ == State::Declaration)
            Step(unit, offset);
        break;
    case State::BangDash:
        state_ = unit == '-' ? State::Comment : State::Declaration;
        break;
    case State::Comment:
    case State::CData:
        if (unit == '>' && run_ >= 2)
            state_ = State::Text;
        else if (unit == (state_ == State::Comment ? '-' : ']'))
            ++run_;
        else
            run_ = 0;
        break;
    case State::Declaration:
        if (unit == '"' || unit == '\'') {
            quote_ = unit;
            state_ = State::DeclarationQuote;
        } else if (unit == '>') {
            state_ = State::Text;
        }
        break;
    case State::DeclarationQuote:
        if (unit == quote_)
            state_ = State::Declaration;
        break;
    }
}

} // namespace carteva
