// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/BackgroundBuilder.h"
#include "gpx/LoadProgress.h"
#include "gpx/NodeObserver.h"
#include "gpx/ParserContext.h"
#include "gpx/ReadAhead.h"

#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace carteva {

// What the callbacks of one load share; every callback finds it through its parser context.
struct ParseState
{
    BackgroundBuilder *builder = nullptr;
    NodeObserver *observer = nullptr;
    const ParserContext *parser = nullptr;
    std::vector<std::string> *refused = nullptr; // what the external entity loader refused

    // Track segments and routes, when they are asked for: the root's child being read, and
    // whether the element open inside a track is a segment.
    enum class LineParent : std::uint8_t { None, Track, Route };
    bool collectLines = false;
    LineParent lineParent = LineParent::None;
    bool inSegment = false;
    bool tracksOrRoutes = false; // seen directly under the root, asked for or not
    // The names of what is kept, as the parser spells them, compared by address.
    struct Names
    {
        const xmlChar *wpt, *trk, *trkseg, *trkpt, *rte, *rtept, *lat, *lon;
    } names {};

    ReadAhead *reader = nullptr;
    LoadProgress *progress = nullptr;
    bool cancelled = false;
    std::size_t bytesRead = 0;
    int readErrno = 0;
    std::size_t expandedBytes = 0;
    // Whether an entity looked up so far refers to others: its growth counts as a loop.
    bool nestedEntities = false;
    const void *lastEntityLookedAt = nullptr;
    // Elements open around the event being reported, counted by the callbacks: every series
    // reports starts and ends in pairs, where the parser's own count differs between them.
    int openElements = 0;

    // The first failure; its description is kept without allocating when memory runs out.
    bool failed = false;
    bool outOfMemory = false;
    std::string description;
    long line = 0;
    std::string encoding;
    std::exception_ptr exception; // thrown in a callback, kept from unwinding through libxml2
};

// The context a callback receives is a parser context: the document's or an entity's.
inline ParseState &StateOf(void *context)
{
    return *static_cast<ParseState *>(ParserContext::StateOf(context));
}

inline bool IsDocument(const ParseState &state, void *context)
{
    return state.parser->IsDocument(context);
}

// The line the document's parser has reached.
inline long CurrentLine(const ParseState &state)
{
    return state.parser != nullptr ? state.parser->DocumentLine() : 0;
}

inline void Stop(void *context)
{
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

} // namespace carteva
