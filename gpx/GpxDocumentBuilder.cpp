#include "gpx/GpxDocumentBuilder.h"

#include <cstdint>
#include <string>

namespace carteva {

namespace {

bool IsBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

const char *Text(GpxDocumentBuilder::Chars chars)
{
    return reinterpret_cast<const char *>(chars);
}

} // namespace

bool GpxDocumentBuilder::StartElement(Chars prefix, Chars localName)
{
    const bool wanted = (depth_ == 0 && !document_.HasRoot()) || AtTopLevel();
    if (depth_ == 0 && wanted) {
        document_.SetRoot(QualifiedName(prefix, localName));
    } else if (wanted) {
        FlushText();
        document_.AddChild(GpxNodeKind::Element, QualifiedName(prefix, localName));
    }
    ++depth_;
    return wanted;
}

void GpxDocumentBuilder::EndElement()
{
    if (AtTopLevel())
        FlushText();
    --depth_;
}

// A DOM lists namespace declarations among the attributes.
void GpxDocumentBuilder::NamespaceDeclaration(Chars prefix, std::string_view uri)
{
    const GpxDocument::NameId name = prefix != nullptr
        ? QualifiedName(reinterpret_cast<Chars>("xmlns"), prefix)
        : InternedOnce(xmlnsName_, "xmlns");
    document_.AddAttribute(name, uri);
}

void GpxDocumentBuilder::Attribute(Chars prefix, Chars localName, std::string_view value)
{
    document_.AddAttribute(QualifiedName(prefix, localName), value);
}

void GpxDocumentBuilder::Characters(std::string_view text)
{
    if (!AtTopLevel())
        return;
    if (!textOpen_) {
        textOpen_ = true;
        textBlank_ = true;
    }
    if (textBlank_)
        textBlank_ = IsBlank(text);
}

void GpxDocumentBuilder::CData()
{
    if (AtTopLevel())
        AddLeaf(GpxNodeKind::CData, InternedOnce(cdataName_, "#cdata-section"));
}

void GpxDocumentBuilder::Comment()
{
    if (AtTopLevel())
        AddLeaf(GpxNodeKind::Comment, InternedOnce(commentName_, "#comment"));
}

void GpxDocumentBuilder::ProcessingInstruction(std::string_view target)
{
    if (AtTopLevel())
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
