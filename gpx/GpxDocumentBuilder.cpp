#include "gpx/GpxDocumentBuilder.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace carteva {

namespace {

bool IsBlank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

const char *Text(GpxDocumentBuilder::Chars chars)
{
    return reinterpret_cast<const char *>(chars);
}

} // namespace

bool GpxDocumentBuilder::StartElement(Chars prefix, Chars localName, int openElements)
{
    if (openElements == 0 && !document_.HasRoot()) {
        document_.SetRoot(QualifiedName(prefix, localName));
        return true;
    }
    if (openElements != 1)
        return false;
    FlushText();
    document_.AddChild(GpxNodeKind::Element, QualifiedName(prefix, localName));
    return true;
}

// A DOM lists namespace declarations among the attributes.
void GpxDocumentBuilder::NamespaceDeclaration(Chars prefix, std::string_view uri)
{
    const GpxDocument::NameId name = prefix != nullptr
        ? QualifiedName(reinterpret_cast<Chars>("xmlns"), prefix)
        : InternedOnce(xmlnsName_, "xmlns");
    document_.AddAttribute(name, uri);
}

GpxDocument::NameId GpxDocumentBuilder::Attribute(Chars prefix, Chars localName,
                                                  std::string_view value)
{
    const GpxDocument::NameId name = QualifiedName(prefix, localName);
    document_.AddAttribute(name, value);
    return name;
}

void GpxDocumentBuilder::TopLevelCharacters(std::string_view text)
{
    if (!textOpen_) {
        textOpen_ = true;
        textBlank_ = true;
    }
    if (textBlank_)
        textBlank_ = IsBlank(text);
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

GpxDocument::NameId GpxDocumentBuilder::QualifiedName(Chars prefix, Chars localName)
{
    const std::uint64_t key = reinterpret_cast<std::uintptr_t>(localName) * 0x9E3779B97F4A7C15u
        ^ reinterpret_cast<std::uintptr_t>(prefix);
    CachedName &slot = nameCache_[key >> 56]; // 256 slots
    if (slot.localName == localName && slot.prefix == prefix && localName != nullptr)
        return slot.id;
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

void GpxDocumentBuilder::FlushText()
{
    if (textOpen_ && !textBlank_)
        document_.AddChild(GpxNodeKind::Text, InternedOnce(textName_, "#text"));
    textOpen_ = false;
}

} // namespace carteva
