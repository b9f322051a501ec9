// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxDocument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace carteva {

// The root and its children as the parser reported them, a few thousand at a time: what the
// parser's thread records so that another thread can build the document from it. Names are the
// parser's own pointers into its dictionary, valid while the parser lives; values are copied,
// since the parser's input moves on.
struct ChildEventBlock
{
    using Chars = const unsigned char *; // libxml2's xmlChar

    enum class NodeKind : std::uint8_t {
        Root,
        Element,
        Text,
        CData,
        Comment,
        ProcessingInstruction,
        LineStart, // a track segment or a route begins
        LinePoint // one of its points, with its "lat" and "lon" attributes only
    };
    // The names a line point's attributes are recorded under.
    static constexpr unsigned char LatName[] = "lat";
    static constexpr unsigned char LonName[] = "lon";

    struct Node
    {
        Chars Prefix;
        Chars LocalName;
        std::uint32_t FirstAttribute; // a node's attributes run up to where the next one's begin
        NodeKind Kind;
    };
    // Namespace declarations come first, as attributes named "xmlns" or "xmlns:<prefix>"; a
    // processing instruction's target is its one attribute's value.
    struct Attribute
    {
        Chars Prefix;
        Chars LocalName;
        std::uint32_t ValueBegin;
        std::uint32_t ValueLength;
    };

    void Reserve(std::size_t nodeCount, std::size_t attributeCount, std::size_t valueBytes)
    {
        nodes.reserve(nodeCount);
        attributes.reserve(attributeCount);
        values.reserve(valueBytes);
    }
    void AddNode(Chars prefix, Chars localName, NodeKind kind)
    {
        nodes.push_back({prefix, localName, static_cast<std::uint32_t>(attributes.size()), kind});
    }
    void AddAttribute(Chars prefix, Chars localName, std::string_view value)
    {
        // Offsets are 32-bit; the document could not keep more either.
        if (value.size() > UINT32_MAX - values.size() || attributes.size() >= UINT32_MAX)
            GpxDocument::TooLarge();
        attributes.push_back({prefix, localName, static_cast<std::uint32_t>(values.size()),
                              static_cast<std::uint32_t>(value.size())});
        values.append(value);
    }

    void Clear()
    {
        nodes.clear();
        attributes.clear();
        values.clear();
    }

    std::string_view Value(const Attribute &attribute) const
    {
        return std::string_view(values).substr(attribute.ValueBegin, attribute.ValueLength);
    }
    std::uint32_t AttributeEnd(std::size_t node) const
    {
        return node + 1 < nodes.size() ? nodes[node + 1].FirstAttribute
                                       : static_cast<std::uint32_t>(attributes.size());
    }

    std::vector<Node> nodes;
    std::vector<Attribute> attributes;
    std::string values;
};

} // namespace carteva
