// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/ByteBuffer.h"
#include "gpx/GpxDocument.h"

#include <cstddef>
#include <cstdint>
#include <optional>
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

    // The points of track segments and routes, in an order of their own: the lines are kept
    // apart from the root's children, so where they fall among them does not matter. A point's
    // latitude text, then its longitude text, lie in `values`; a mark of a new line has none.
    // Two records a point would double the parser's share of a track.
    struct LinePoint
    {
        static constexpr std::uint8_t Starts = 1, HasLat = 2, HasLon = 4;
        std::uint32_t ValueBegin;
        std::uint32_t LatLength;
        std::uint32_t LonLength;
        std::uint8_t Flags;
    };

    void Reserve(std::size_t nodeCount, std::size_t attributeCount, std::size_t linePointCount,
                 std::size_t valueBytes)
    {
        nodes.reserve(nodeCount);
        attributes.reserve(attributeCount);
        linePoints.reserve(linePointCount);
        values.Reserve(valueBytes);
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
        values.Append(value);
    }
    void AddLineStart() { linePoints.push_back({0, 0, 0, LinePoint::Starts}); }
    void AddLinePoint(std::optional<std::string_view> lat, std::optional<std::string_view> lon)
    {
        const std::size_t latLength = lat ? lat->size() : 0, lonLength = lon ? lon->size() : 0;
        if (latLength + lonLength > UINT32_MAX - values.size())
            GpxDocument::TooLarge();
        linePoints.push_back({static_cast<std::uint32_t>(values.size()),
                              static_cast<std::uint32_t>(latLength),
                              static_cast<std::uint32_t>(lonLength),
                              static_cast<std::uint8_t>((lat ? LinePoint::HasLat : 0)
                                                        | (lon ? LinePoint::HasLon : 0))});
        if (lat)
            values.Append(*lat);
        if (lon)
            values.Append(*lon);
    }

    void Clear()
    {
        nodes.clear();
        attributes.clear();
        linePoints.clear();
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
    std::vector<LinePoint> linePoints;
    ByteBuffer values;
};

} // namespace carteva
