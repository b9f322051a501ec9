// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace carteva {

// The root and its children as the parser reported them, a few thousand at a time: what the
// parser's thread records so that another thread can build the document from it. Names are the
// parser's own pointers into its dictionary, valid while the parser lives; values are copied,
// since the parser's input moves on.
//
// The storage is sized up front and filled up to the counts: recording a waypoint then takes no
// call but the copies of its values. A block's counts change with every waypoint, so no two
// blocks share a cache line.
struct alignas(64) ChildEventBlock
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

    ChildEventBlock(std::size_t nodeRoom, std::size_t attributeRoom, std::size_t valueRoom)
        : nodes(nodeRoom)
        , attributes(attributeRoom)
        , values(valueRoom)
    { }

    bool HasRoom(std::size_t moreAttributes, std::size_t moreBytes) const
    {
        return attributes.size() - attributeCount >= moreAttributes
            && values.size() - valueBytes >= moreBytes;
    }
    // Room for one more value of this length; offsets stay below 4 GiB.
    void Grow(std::size_t moreBytes);
    // Only where there is room: nodeCount below nodes.size(), HasRoom(1, length).
    void AddNode(Chars prefix, Chars localName, NodeKind kind)
    {
        nodes[nodeCount++] = {prefix, localName, static_cast<std::uint32_t>(attributeCount), kind};
    }
    void AddAttribute(Chars prefix, Chars localName, const void *value, std::size_t length)
    {
        std::memcpy(values.data() + valueBytes, value, length);
        AddValueCopied(prefix, localName, length);
    }
    // The same, unless the value holds an ampersand: a reference the parser left for the tree
    // builder to expand. Nothing is added then.
    bool AddAttributeWithoutReference(Chars prefix, Chars localName, Chars value,
                                      std::size_t length)
    {
        char *copy = values.data() + valueBytes;
        if (length <= 16) {
            if (CopyFindingAmpersand(copy, value, length))
                return false;
        } else {
            if (std::memchr(value, '&', length) != nullptr)
                return false;
            std::memcpy(copy, value, length);
        }
        AddValueCopied(prefix, localName, length);
        return true;
    }

    std::string_view Value(const Attribute &attribute) const
    {
        return {values.data() + attribute.ValueBegin, attribute.ValueLength};
    }
    std::uint32_t AttributeEnd(std::size_t node) const
    {
        return node + 1 < nodeCount ? nodes[node + 1].FirstAttribute
                                    : static_cast<std::uint32_t>(attributeCount);
    }
    void Clear() { nodeCount = attributeCount = valueBytes = 0; }

    std::vector<Node> nodes;
    std::vector<Attribute> attributes;
    std::vector<char> values;
    std::size_t nodeCount = 0;
    std::size_t attributeCount = 0;
    std::size_t valueBytes = 0;

private:
    void AddValueCopied(Chars prefix, Chars localName, std::size_t length)
    {
        attributes[attributeCount++] = {prefix, localName, static_cast<std::uint32_t>(valueBytes),
                                        static_cast<std::uint32_t>(length)};
        valueBytes += length;
    }
    // Copies up to 16 bytes and tells whether one was '&': two overlapping words loaded and
    // stored, where memchr and memcpy would cost a call each for the dozen bytes of a
    // coordinate. Touches nothing outside the `length` bytes at either end.
    static bool CopyFindingAmpersand(char *to, Chars from, std::size_t length)
    {
        std::uint64_t head = 0, tail = 0;
        if (length >= 8) {
            std::memcpy(&head, from, 8);
            std::memcpy(&tail, from + length - 8, 8);
            std::memcpy(to, &head, 8);
            std::memcpy(to + length - 8, &tail, 8);
        } else if (length >= 4) {
            std::uint32_t first, last;
            std::memcpy(&first, from, 4);
            std::memcpy(&last, from + length - 4, 4);
            std::memcpy(to, &first, 4);
            std::memcpy(to + length - 4, &last, 4);
            head = first; // the zero bytes above are no '&'
            tail = last;
        } else {
            for (std::size_t i = 0; i < length; ++i) {
                to[i] = static_cast<char>(from[i]);
                head = head << 8 | from[i];
            }
        }
        return HasAmpersand(head) || HasAmpersand(tail);
    }
    static constexpr bool HasAmpersand(std::uint64_t word)
    {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        const std::uint64_t zeroWhereAmpersand = word ^ (ones * '&');
        return ((zeroWhereAmpersand - ones) & ~zeroWhereAmpersand & (ones * 0x80)) != 0;
    }
};

} // namespace carteva
