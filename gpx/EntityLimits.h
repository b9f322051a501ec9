// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/ParseState.h"

#include <libxml/parser.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace carteva {

// Entity content is parsed in a context of its own, once per reference, and adds nothing to the
// document. libxml2 does not limit how often a large entity is parsed again this way, so its
// volume is limited here, as is that of entities expanded in attribute values: a failure once
// the expanded bytes pass ten times the bytes read (and an allowance). Growth through entities
// that refer to other entities fails as "Detected an entity reference loop", as libxml2 2.9
// reports it, plain growth as "Maximum entity amplification factor exceeded".
void CountExpansion(ParseState &state, std::size_t bytes) noexcept;

// True when the event belongs to the document itself. After a failure the document parser goes
// on to the end of what it has already read (so a conversion error still learns its line), but
// entity content is not parsed any further.
bool Accept(void *context, ParseState &state, std::size_t entityBytes) noexcept;

// An attribute value with its references to internal entities (and "&#38;", which the parser
// leaves for a literal ampersand) expanded, as the tree builder would store it. Expanded text
// counts towards the entity limits; a reference to an entity being expanded, or nesting deeper
// than 40, fails the load as a loop. After a failure the value is incomplete and unused.
std::string ExpandAttributeValue(ParseState &state, void *context, std::string_view value);

// Notes whether `entity` refers to other entities (see CountExpansion).
void NoteEntity(ParseState &state, const xmlEntity *entity) noexcept;

// The getEntity callback: inside entities, each reference counts as its text's length, and
// after a failure references find nothing.
xmlEntityPtr OnGetEntity(void *context, const xmlChar *name) noexcept;

// The external entity loader while a load runs: refuses every request, noting it in the
// refusal list of the load in progress on this thread (see ExternalEntityRefusal).
xmlParserInputPtr RefuseExternalEntity(const char *url, const char *id, xmlParserCtxtPtr) noexcept;

// Makes `state` the one RefuseExternalEntity reports to on this thread: the loader callback
// carries no user data of its own.
class ExternalEntityRefusal
{
public:
    explicit ExternalEntityRefusal(ParseState &state);
    ~ExternalEntityRefusal();
    ExternalEntityRefusal(const ExternalEntityRefusal &) = delete;
    ExternalEntityRefusal &operator=(const ExternalEntityRefusal &) = delete;
};

} // namespace carteva
