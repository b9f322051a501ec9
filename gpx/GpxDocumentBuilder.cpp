// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxDocumentBuilder.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace carteva {

namespace {

const char *Text(GpxDocumentBuilder::Chars chars)
{
    return reinterpret_cast<const char *>(chars);
}

} // namespace

bool GpxDocumentBuilder::IsBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

GpxDocument::NameId GpxDocumentBuilder::StartRoot(Chars prefix, Chars localName)
{
    const GpxDocument::NameId name = QualifiedName(prefix, localName);
    document_.SetRoot(name);
    return name;
}

// A DOM lists namespace declarations among the attributes.
void GpxDocumentBuilder::NamespaceDeclaration(Chars prefix, std::string_view uri)
{
    const GpxDocument::NameId name = prefix != nullptr
        ? QualifiedName(reinterpret_cast<Chars>("xmlns"), prefix)
        : InternedOnce(xmlnsName_, "xmlns");
    document_.AddAttribute(name, uri);
}

void GpxDocumentBuilder::CData(int openElements)
{
    if (openElements == 1)
        AddLeaf(GpxNodeKind::CData, InternedOnce(cdataName_, "#cdata-section"));
}

void GpxDocumentBuilder::Comment(int openElements)
{
    if (openElements == 1)
        AddLeaf(GpxNodeKind::Comment, InternedOnce(commentName_, "#comment"));
}

void GpxDocumentBuilder::ProcessingInstruction(std::string_view target, int openElements)
{
    if (openElements == 1)
        AddLeaf(GpxNodeKind::ProcessingInstruction, document_.InternName(target));
}

GpxDocument::NameId GpxDocumentBuilder::Intern(CachedName &slot, Chars prefix, Chars localName)
{
    std::string name;
    if (prefix != nullptr) {
        name = Text(prefix);
        name += ':';
    }
    name += Text(localName);
    slot = {prefix, localName, document_.InternName(name)};
    return slot.id;
}

GpxDocument::NameId GpxDocumentBuilder::InternedOnce(GpxDocument::NameId &id, std::string_view name)
{
    if (id == 0)
        id = document_.InternName(name) + 1;
    return id - 1;
}

void GpxDocumentBuilder::AddLeaf(GpxNodeKind kind, GpxDocument::NameId name)
{
    FlushText();
    document_.AddChild(kind, name);
}

} // namespace carteva
