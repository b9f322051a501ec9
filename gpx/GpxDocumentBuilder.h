// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxDocument.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace carteva {

// Turns the parser's events into a GpxDocument: keeps the root and its direct children, merges
// adjacent pieces of text into one node and drops text that is whitespace only.
//
// Each event comes with the number of elements open around it, as the parser counts them, so
// the end of an element needs no event of its own. Names arrive as (prefix, local name)
// pointers into the parser's dictionary, where one spelling always has one address, so a small
// cache keyed by address spares building the qualified name again for every node.
class GpxDocumentBuilder
{
public:
    using Chars = const unsigned char *; // libxml2's xmlChar

    // The element's name when it is the root or one of its children, whose attributes are
    // wanted. Inline, as the rest of what a waypoint takes: a large file has a million of them.
    std::optional<GpxDocument::NameId> StartElement(Chars prefix, Chars localName, int openElements)
    {
        if (openElements == 1) {
            FlushText();
            const GpxDocument::NameId name = QualifiedName(prefix, localName);
            document_.AddChild(GpxNodeKind::Element, name);
            return name;
        }
        if (openElements == 0 && !document_.HasRoot())
            return StartRoot(prefix, localName);
        return std::nullopt;
    }
    // For the element just started.
    void NamespaceDeclaration(Chars prefix, std::string_view uri);
    GpxDocument::NameId Attribute(Chars prefix, Chars localName, std::string_view value)
    {
        const GpxDocument::NameId name = QualifiedName(prefix, localName);
        document_.AddAttribute(name, value);
        return name;
    }
    // Text among the root's children; the caller passes no other.
    void TopLevelCharacters(std::string_view text)
    {
        if (!textOpen_) {
            textOpen_ = true;
            textBlank_ = true;
        }
        if (textBlank_)
            textBlank_ = IsBlank(text);
    }
    void CData(int openElements);
    void Comment(int openElements);
    void ProcessingInstruction(std::string_view target, int openElements);
    // After the last event: text at the end of the root becomes its last child.
    void Finish() { FlushText(); }

    GpxDocument &Document() { return document_; }

private:
    struct CachedName
    {
        Chars prefix = nullptr;
        Chars localName = nullptr;
        GpxDocument::NameId id = 0;
    };

    static bool IsBlank(std::string_view text);
    GpxDocument::NameId StartRoot(Chars prefix, Chars localName);
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
    void AddLeaf(GpxNodeKind kind, GpxDocument::NameId name);
    void FlushText()
    {
        if (textOpen_ && !textBlank_)
            document_.AddChild(GpxNodeKind::Text, InternedOnce(textName_, "#text"));
        textOpen_ = false;
    }

    GpxDocument document_;
    bool textOpen_ = false;
    bool textBlank_ = true;
    // Ids plus one, 0 while the name is not interned yet.
    GpxDocument::NameId textName_ = 0, cdataName_ = 0, commentName_ = 0, xmlnsName_ = 0;
    std::array<CachedName, 256> nameCache_ {};
};

} // namespace carteva
