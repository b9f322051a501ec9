// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/ByteBuffer.h"
#include "gpx/GpxLines.h"

#include <cstddef>
#include <cstdint>
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
        ProcessingInstruction
    };

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
        values.Reserve(valueBytes);
    }
    void AddNode(Chars prefix, Chars localName, NodeKind kind)
    {
        nodes.push_back({prefix, localName, static_cast<std::uint32_t>(attributes.size()), kind});
    }
    void AddAttribute(Chars prefix, Chars localName, std::string_view value)
    {
        // Indices are 32-bit; the document could not keep more either.
        if (attributes.size() >= UINT32_MAX)
            ByteBuffer::TooLarge();
        const std::uint32_t begin = values.size();
        values.Append(value);
        attributes.push_back({prefix, localName, begin, static_cast<std::uint32_t>(value.size())});
    }

    void Clear()
    {
        nodes.clear();
        attributes.clear();
        lines.clear();
        values.clear();
    }

    std::string_view Value(const Attribute &attribute) const
    {
        return values.View().substr(attribute.ValueBegin, attribute.ValueLength);
    }
    std::uint32_t AttributeEnd(std::size_t node) const
    {
        return node + 1 < nodes.size() ? nodes[node + 1].FirstAttribute
                                       : static_cast<std::uint32_t>(attributes.size());
    }

    std::vector<Node> nodes;
    std::vector<Attribute> attributes;
    ByteBuffer values;
    // The points of track segments and routes, apart from the root's children: where they fall
    // among them does not matter.
    GpxLines lines;
};

} // namespace carteva
