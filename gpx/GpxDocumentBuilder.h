#pragma once

#include "gpx/GpxDocument.h"

#include <array>
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

    // True when the element is the root or one of its children, whose attributes are wanted.
    bool StartElement(Chars prefix, Chars localName, int openElements);
    // For the element just started.
    void NamespaceDeclaration(Chars prefix, std::string_view uri);
    GpxDocument::NameId Attribute(Chars prefix, Chars localName, std::string_view value);
    void Characters(std::string_view text, int openElements)
    {
        if (openElements == 1)
            TopLevelCharacters(text);
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

    void TopLevelCharacters(std::string_view text);
    GpxDocument::NameId QualifiedName(Chars prefix, Chars localName);
    GpxDocument::NameId InternedOnce(GpxDocument::NameId &id, std::string_view name);
    void AddLeaf(GpxNodeKind kind, GpxDocument::NameId name);
    void FlushText();

    GpxDocument document_;
    bool textOpen_ = false;
    bool textBlank_ = true;
    // Ids plus one, 0 while the name is not interned yet.
    GpxDocument::NameId textName_ = 0, cdataName_ = 0, commentName_ = 0, xmlnsName_ = 0;
    std::array<CachedName, 256> nameCache_ {};
};

} // namespace carteva
