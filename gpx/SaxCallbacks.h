// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/ParserContext.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace carteva {

// The SAX2 handler of a load: the callbacks record the waypoints and line points with the load's
// BackgroundBuilder, and tell its NodeObserver the root and its children (a ParseState, reached
// through the parser context). None of them lets an
// exception unwind through libxml2's C frames: what a callback throws is kept in the state and
// the parser stopped.
xmlSAXHandler MakeSaxHandler();

// The read callback: the next bytes from the load's ReadAhead.
int ReadFromFile(void *state, char *buffer, int length) noexcept;

// Errors raised without a parser context (character conversion, for one).
void OnLooseError(void *state, XmlErrorArgument error) noexcept;

} // namespace carteva
