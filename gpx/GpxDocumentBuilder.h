// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxDocument.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace carteva {

// Turns the root and its direct children, as the parser reported them, into a GpxDocument.
//
// Names arrive as (prefix, local name) pointers into the parser's dictionary, where one
// spelling always has one address, so a small cache keyed by address spares building the
// qualified name again for every node.
class GpxDocumentBuilder
{
public:
    using Chars = const unsigned char *; // libxml2's xmlChar

    // False, and nothing added, when there is a root already.
    bool StartRoot(Chars prefix, Chars localName);
    // Inline, as the rest of what a waypoint takes: a large file has a million of them.
    void StartChild(Chars prefix, Chars localName)
    {
        document_.AddChild(GpxNodeKind::Element, QualifiedName(prefix, localName));
    }
    // For the element just started; a namespace declaration is an attribute named "xmlns" or
    // "xmlns:<prefix>", as in a DOM.
    void Attribute(Chars prefix, Chars localName, std::string_view value)
    {
        document_.AddAttribute(QualifiedName(prefix, localName), value);
    }
    void Text() { document_.AddChild(GpxNodeKind::Text, InternedOnce(textName_, "#text")); }
    void CData();
    void Comment();
    void ProcessingInstruction(std::string_view target);

    GpxDocument &Document() { return document_; }

private:
    struct CachedName
    {
        Chars prefix = nullptr;
        Chars localName = nullptr;
        GpxDocument::NameId id = 0;
    };

    GpxDocument::NameId QualifiedName(Chars prefix, Chars localName)
    {
        const std::uint64_t key = reinterpret_cast<std::uintptr_t>(localName) * 0x9E3779B97F4A7C15u
            ^ reinterpret_cast<std::uintptr_t>(prefix);
        CachedName &slot = nameCache_[key >> 56]; // 256 slots
        if (slot.localName == localName && slot.prefix == prefix && localName != nullptr)
            return slot.id;
        return Intern(slot, prefix, localName);
    }
    GpxDocument::NameId Intern(CachedName &slot, Chars prefix, Chars localName);
    GpxDocument::NameId InternedOnce(GpxDocument::NameId &id, std::string_view name);

    GpxDocument document_;
    // Ids plus one, 0 while the name is not interned yet.
    GpxDocument::NameId textName_ = 0, cdataName_ = 0, commentName_ = 0;
    std::array<CachedName, 256> nameCache_ {};
};

} // namespace carteva
