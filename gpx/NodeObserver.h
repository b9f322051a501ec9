// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace carteva {

enum class GpxNodeKind : std::uint8_t { Element, Text, CData, Comment, ProcessingInstruction };

// Told what the parser finds at the top of a file, on the loading thread and in document order:
// the root element, then each of its direct children. An element's namespace declarations follow
// it as attributes named "xmlns" or "xmlns:<prefix>" (as in a DOM), then its attributes with
// their normalised values, references expanded. Text among the children comes as the parser hands
// it over, a piece at a time, blanks included. Deeper nodes and entities' content are not told.
// A load keeps none of this (see GpxLoader::Observe): it is for looking at a file's structure.
class NodeObserver
{
public:
    virtual ~NodeObserver() = default;
    // An element's name, or a processing instruction's target; an empty name for a comment or a
    // CDATA section. `prefix` is empty for a name without one.
    virtual void Node(GpxNodeKind kind, std::string_view prefix, std::string_view name) = 0;
    virtual void Attribute(std::string_view prefix, std::string_view name, std::string_view value)
        = 0;
    virtual void Text(std::string_view text) = 0;
};

} // namespace carteva
