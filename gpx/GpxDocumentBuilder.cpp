// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxDocumentBuilder.h"

#include <string>

namespace carteva {

namespace {

const char *AsChars(GpxDocumentBuilder::Chars chars)
{
    return reinterpret_cast<const char *>(chars);
}

} // namespace

bool GpxDocumentBuilder::StartRoot(Chars prefix, Chars localName)
{
    if (document_.HasRoot())
        return false;
    document_.SetRoot(QualifiedName(prefix, localName));
    return true;
}

void GpxDocumentBuilder::CData()
{
    document_.AddChild(GpxNodeKind::CData, InternedOnce(cdataName_, "#cdata-section"));
}

void GpxDocumentBuilder::Comment()
{
    document_.AddChild(GpxNodeKind::Comment, InternedOnce(commentName_, "#comment"));
}

void GpxDocumentBuilder::ProcessingInstruction(std::string_view target)
{
    document_.AddChild(GpxNodeKind::ProcessingInstruction, document_.InternName(target));
}

GpxDocument::NameId GpxDocumentBuilder::Intern(CachedName &slot, Chars prefix, Chars localName)
{
    std::string name;
    if (prefix != nullptr) {
        name = AsChars(prefix);
        name += ':';
    }
    name += AsChars(localName);
    slot = {prefix, localName, document_.InternName(name)};
    return slot.id;
}

GpxDocument::NameId GpxDocumentBuilder::InternedOnce(GpxDocument::NameId &id, std::string_view name)
{
    if (id == 0)
        id = document_.InternName(name) + 1;
    return id - 1;
}

} // namespace carteva
