// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/SaxCallbacks.h"

#include "gpx/EntityLimits.h"
#include "gpx/ParseFailure.h"
#include "gpx/ParseState.h"

#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace carteva {

namespace {

// Room for 20,000 attributes: the table doubles, so an element with more than 16,382 is refused.
constexpr int MaxAttributeRoom = 5 * 20000;
// The same limit where the parser has no such table to watch, checked when the tag is read.
constexpr int MaxAttributes = 16382;

// Runs a callback body; an exception must not unwind through libxml2's C frames, so it is kept
// and the parser stopped.
template<class Body> void Guarded(void *context, ParseState &state, Body &&body) noexcept
{
    try {
        body();
    } catch (...) {
        if (!state.exception)
            state.exception = std::current_exception();
        Stop(context);
    }
}

std::string_view View(const xmlChar *begin, const xmlChar *end)
{
    return {reinterpret_cast<const char *>(begin), static_cast<std::size_t>(end - begin)};
}

std::string_view View(const xmlChar *text)
{
    return text != nullptr ? reinterpret_cast<const char *>(text) : "";
}

[[gnu::noinline]] void TooManyAttributes(void *context, ParseState &state) noexcept
{
    RecordFailure(state, "An element has too many attributes", CurrentLine(state));
    Stop(context);
}

// Five pointers: local name, prefix, URI, value, end of value. True when the value holds a
// reference, or "&#38;" for a literal ampersand: the parser leaves them in.
bool HasReference(const xmlChar **attribute)
{
    return std::memchr(attribute[3], '&', static_cast<std::size_t>(attribute[4] - attribute[3]))
        != nullptr;
}

// The value with its references expanded the way libxml2's own tree builder does; the text
// lives in `owner` while it is used.
[[gnu::noinline]] std::string_view ExpandedValue(ParseState &state, void *context,
                                                 const xmlChar **attribute, std::string &owner)
{
    owner = ExpandAttributeValue(state, context, View(attribute[3], attribute[4]));
    if (state.failed) {
        Stop(context);
        return {};
    }
    return owner;
}

// Names are the parser's dictionary strings: one address per spelling.
bool Named(const xmlChar *prefix, const xmlChar *localName, const xmlChar *name)
{
    return prefix == nullptr && localName == name;
}

// Expanded values, freed once the element is recorded.
struct Expanded
{
    std::string lat, lon, other;
};

// An element's "lat" and "lon" (named exactly so), references expanded; with `all`, every other
// value is expanded too, which keeps the entity limits on whatever the root's children hold,
// and told to the observer. The values lie in the parser's input, which stopping the parser
// frees: nothing is read after that.
WaypointText ReadAttributes(ParseState &state, void *context, int count, const xmlChar **attributes,
                            bool all, Expanded &expanded)
{
    WaypointText point;
    for (int i = 0; i < count && !state.failed && !ParserContext::Stopped(context); ++i) {
        const xmlChar **attribute = attributes + 5 * i;
        const bool lat = Named(attribute[1], attribute[0], state.names.lat);
        const bool lon = !lat && Named(attribute[1], attribute[0], state.names.lon);
        if (!all && !lat && !lon)
            continue;
        std::string &owner = lat ? expanded.lat : lon ? expanded.lon : expanded.other;
        const std::string_view value = HasReference(attribute)
            ? ExpandedValue(state, context, attribute, owner)
            : View(attribute[3], attribute[4]);
        if (lat)
            point.Lat = value;
        else if (lon)
            point.Lon = value;
        if (all && state.observer != nullptr)
            state.observer->Attribute(View(attribute[1]), View(attribute[0]), value);
    }
    return point;
}

// A line point whose values hold references.
[[gnu::noinline]] void AddExpandedLinePoint(ParseState &state, void *context, int attributeCount,
                                            const xmlChar **attributes)
{
    Expanded expanded;
    const WaypointText point
        = ReadAttributes(state, context, attributeCount, attributes, false, expanded);
    if (!ParserContext::Stopped(context))
        state.builder->LinePoint(point.Lat, point.Lon);
}

// A point of a track segment or a route. A track's every point comes here: the common case,
// values as written, takes the shortest way.
void AddLinePoint(ParseState &state, void *context, int attributeCount, const xmlChar **attributes)
{
    const xmlChar **lat = nullptr, **lon = nullptr;
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar **attribute = attributes + 5 * i;
        if (Named(attribute[1], attribute[0], state.names.lat))
            lat = attribute;
        else if (Named(attribute[1], attribute[0], state.names.lon))
            lon = attribute;
    }
    if ((lat != nullptr && HasReference(lat)) || (lon != nullptr && HasReference(lon))) {
        AddExpandedLinePoint(state, context, attributeCount, attributes);
    } else {
        const auto value = [](const xmlChar **attribute) -> std::optional<std::string_view> {
            if (attribute == nullptr)
                return std::nullopt;
            return View(attribute[3], attribute[4]);
        };
        state.builder->LinePoint(value(lat), value(lon));
    }
    if (!state.builder->Building())
        Stop(context);
}

// An element two or three levels below the root: a track segment, a route point or a track
// point, when it stands where GPX puts them.
void StartLineElement(void *context, ParseState &state, int openElements, const xmlChar *localName,
                      const xmlChar *prefix, int attributeCount, const xmlChar **attributes)
{
    using LineParent = ParseState::LineParent;
    if (openElements == 2 && state.lineParent == LineParent::Track) {
        state.inSegment = Named(prefix, localName, state.names.trkseg);
        if (state.inSegment)
            state.builder->LineStart();
    } else if (openElements == 2 && state.lineParent == LineParent::Route) {
        if (Named(prefix, localName, state.names.rtept))
            AddLinePoint(state, context, attributeCount, attributes);
    } else if (openElements == 3 && state.inSegment
               && Named(prefix, localName, state.names.trkpt)) {
        AddLinePoint(state, context, attributeCount, attributes);
    }
}

// The root or one of its children (not in an entity's content): told to the observer; a
// waypoint is kept.
void StartElement(void *context, ParseState &state, int openElements, const xmlChar *localName,
                  const xmlChar *prefix, int namespaceCount, const xmlChar **namespaces,
                  int attributeCount, const xmlChar **attributes)
{
    const bool child = openElements == 1;
    if (NodeObserver *observer = state.observer) {
        observer->Node(GpxNodeKind::Element, View(prefix), View(localName));
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar *declared = namespaces[2 * i];
            observer->Attribute(declared ? "xmlns" : "", declared ? View(declared) : "xmlns",
                                View(namespaces[2 * i + 1]));
        }
    }
    Expanded expanded;
    const WaypointText point
        = ReadAttributes(state, context, attributeCount, attributes, true, expanded);
    if (child && Named(prefix, localName, state.names.wpt) && !ParserContext::Stopped(context))
        state.builder->Waypoint(point);
    if (!state.builder->Building())
        Stop(context);
    if (!child)
        return;
    const bool track = Named(prefix, localName, state.names.trk);
    const bool route = Named(prefix, localName, state.names.rte);
    state.tracksOrRoutes |= track || route;
    if (state.collectLines) {
        using LineParent = ParseState::LineParent;
        state.lineParent = track ? LineParent::Track : route ? LineParent::Route : LineParent::None;
        state.inSegment = false;
        if (route)
            state.builder->LineStart();
    }
}

// Whatever is not the bulk: the root, its children, lines, and elements in entities' content.
[[gnu::noinline]] void OnOtherStartElement(void *context, ParseState &state, bool document,
                                           int openElements, const xmlChar *localName,
                                           const xmlChar *prefix, int namespaceCount,
                                           const xmlChar **namespaces, int attributeCount,
                                           const xmlChar **attributes) noexcept
{
    if (document && openElements > 1) {
        if (!state.failed)
            Guarded(context, state, [&] {
                StartLineElement(context, state, openElements, localName, prefix, attributeCount,
                                 attributes);
            });
        return;
    }
    if (!Accept(context, state, 1))
        return;
    Guarded(context, state, [&] {
        StartElement(context, state, openElements, localName, prefix, namespaceCount, namespaces,
                     attributeCount, attributes);
    });
}

// Called for every element of the file; the bulk lies deeper than the root's children (and
// than a line's points) and leaves nothing to keep, so that case returns first, before
// anything else is set up.
void OnStartElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *,
                    int namespaceCount, const xmlChar **namespaces, int attributeCount, int,
                    const xmlChar **attributes) noexcept
{
    ParseState &state = StateOf(context);
    const int openElements = state.openElements++;
    if (attributeCount > MaxAttributes) [[unlikely]] {
        TooManyAttributes(context, state);
        return;
    }
    const bool document = IsDocument(state, context);
    if (document && openElements > 1
        && (openElements > 3 || state.lineParent == ParseState::LineParent::None))
        return;
    OnOtherStartElement(context, state, document, openElements, localName, prefix, namespaceCount,
                        namespaces, attributeCount, attributes);
}

void OnEndElement(void *context, const xmlChar *, const xmlChar *, const xmlChar *) noexcept
{
    --StateOf(context).openElements;
}

// Text among the root's children, or in an entity's content.
[[gnu::noinline]] void OnOtherCharacters(void *context, ParseState &state, bool document,
                                         const xmlChar *text, int length) noexcept
{
    if (!document) {
        Accept(context, state, static_cast<std::size_t>(length));
        return;
    }
    if (!state.failed && state.observer != nullptr)
        Guarded(context, state, [&] { state.observer->Text(View(text, text + length)); });
}

// As often as start tags and more: the same quick return for text below the root's children.
void OnCharacters(void *context, const xmlChar *text, int length) noexcept
{
    ParseState &state = StateOf(context);
    const bool document = IsDocument(state, context);
    if (document && state.openElements != 1)
        return;
    OnOtherCharacters(context, state, document, text, length);
}

// A comment, CDATA section or processing instruction among the root's children.
void AddLeaf(void *context, ParseState &state, std::size_t length, GpxNodeKind kind,
             const xmlChar *target = nullptr) noexcept
{
    if (!Accept(context, state, length) || state.openElements != 1)
        return;
    Guarded(context, state, [&] {
        if (state.observer != nullptr)
            state.observer->Node(kind, {}, View(target));
        // A processing instruction named as waypoints are is one, without coordinates.
        if (target != nullptr && View(target) == "wpt")
            state.builder->Waypoint({});
    });
}

void OnCData(void *context, const xmlChar *, int length) noexcept
{
    AddLeaf(context, StateOf(context), static_cast<std::size_t>(length), GpxNodeKind::CData);
}

void OnComment(void *context, const xmlChar *text) noexcept
{
    AddLeaf(context, StateOf(context), std::strlen(reinterpret_cast<const char *>(text)),
            GpxNodeKind::Comment);
}

void OnProcessingInstruction(void *context, const xmlChar *target, const xmlChar *) noexcept
{
    AddLeaf(context, StateOf(context), 1, GpxNodeKind::ProcessingInstruction, target);
}

void OnContextError(void *context, XmlErrorArgument error) noexcept
{
    if (error == nullptr || error->level < XML_ERR_ERROR)
        return;
    ParseState &state = StateOf(context);
    // Lines inside an entity's text mean nothing to the reader: use the document's.
    const long line = IsDocument(state, context) ? error->line : CurrentLine(state);
    try {
        RecordFailure(state, ParserContext::Description(*error, state.nestedEntities).c_str(),
                      line);
    } catch (...) {
        state.outOfMemory = true;
        RecordFailure(state, "", line);
    }
}

} // namespace

int ReadFromFile(void *context, char *buffer, int length) noexcept
{
    ParseState &state = *static_cast<ParseState *>(context);
    // After the first error the rest of the file is of no use.
    if (state.failed || state.readErrno != 0 || state.cancelled)
        return 0;
    if (state.progress != nullptr && state.progress->CancelRequested.load()) {
        state.cancelled = true;
        return 0;
    }
    const std::size_t got = state.reader->Read(buffer, static_cast<std::size_t>(length));
    if (got == 0 && state.reader->Error() != 0)
        state.readErrno = state.reader->Error();
    // libxml2 up to 2.11 compares a start tag's attributes pairwise once it has read them all,
    // so an element with hundreds of thousands of them takes minutes. While the parser reads
    // such a tag it calls here for more of it, and its attribute table has grown: refuse it then.
    // (The parser's context reads its first bytes before it is known here.)
    if (state.parser != nullptr
        && ParserContext::AttributeRoom(state.parser->Get()) > MaxAttributeRoom) [[unlikely]] {
        // The file ends here, for the parser; stopping it from inside its read would free the
        // input it is growing.
        RecordFailure(state, "An element has too many attributes", CurrentLine(state));
        return 0;
    }
    state.bytesRead += got;
    if (state.progress != nullptr)
        state.progress->BytesRead.store(state.bytesRead, std::memory_order_relaxed);
    return static_cast<int>(got);
}

void OnLooseError(void *state, XmlErrorArgument error) noexcept
{
    RecordError(*static_cast<ParseState *>(state), error);
}

xmlSAXHandler MakeSaxHandler()
{
    xmlSAXHandler handler;
    // The defaults keep the DTD's declarations (for entities in attribute values); ours keep
    // the points.
    xmlSAXVersion(&handler, 2);
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.endElementNs = OnEndElement;
    handler.reference = nullptr;
    handler.getEntity = OnGetEntity;
    handler.startElementNs = OnStartElement;
    handler.characters = OnCharacters;
    handler.ignorableWhitespace = OnCharacters;
    handler.cdataBlock = OnCData;
    handler.comment = OnComment;
    handler.processingInstruction = OnProcessingInstruction;
    handler.serror = OnContextError;
    return handler;
}

} // namespace carteva
