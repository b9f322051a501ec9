// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLoader.h"

#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"
#include "gpx/BackgroundBuilder.h"
#include "gpx/LineExcerpt.h"
#include "gpx/ParserContext.h"
#include "gpx/ParserEnvironment.h"
#include "gpx/ReadAhead.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace carteva {

namespace {

namespace fs = std::filesystem;

// Values that grew through entities may add this much beyond ten times the bytes read so far;
// more is an expansion attack, since the document keeps every value.
constexpr std::size_t ExpansionAllowance = 1 << 20;

struct ParseState
{
    BackgroundBuilder *builder = nullptr;
    const ParserContext *parser = nullptr;

    ReadAhead *reader = nullptr;
    std::size_t bytesRead = 0;
    int readErrno = 0;
    std::size_t expandedBytes = 0;

    bool failed = false;
    std::string description;
    long line = 0;
    std::string encoding;
    std::exception_ptr exception;
};

// The entity loader callback carries no user data; this points at the refusal list of the Load
// in progress.
thread_local std::vector<std::string> *activeRefusals = nullptr;

struct RefusalRecording
{
    explicit RefusalRecording(std::vector<std::string> &refused) { activeRefusals = &refused; }
    ~RefusalRecording() { activeRefusals = nullptr; }
    RefusalRecording(const RefusalRecording &) = delete;
    RefusalRecording &operator=(const RefusalRecording &) = delete;
};

// The context a callback receives is a parser context: the document's or an entity's.
void Stop(void *context)
{
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

ParseState &StateOf(void *context)
{
    return *static_cast<ParseState *>(ParserContext::StateOf(context));
}

// The line the document's parser has reached.
long CurrentLine(const ParseState &state)
{
    return state.parser != nullptr ? xmlSAX2GetLineNumber(state.parser->Get()) : 0;
}

void RecordFailure(ParseState &state, std::string description, long line)
{
    if (state.failed) {
        // A character conversion error comes without a position; the parser's own error, where
        // the decoded text ran out, tells the line.
        if (state.line <= 0)
            state.line = line;
        return;
    }
    while (!description.empty() && description.back() == '\n')
        description.pop_back();
    state.failed = true;
    state.description = std::move(description);
    state.line = line;
    if (state.parser != nullptr)
        state.encoding = state.parser->Encoding();
}

// Entity content is parsed in a context of its own, once per reference, and adds nothing to the
// document. libxml2 does not limit how often a large entity is parsed again this way, so its
// volume is limited here, as is that of entities expanded in attribute values.
void CountExpansion(ParseState &state, std::size_t bytes)
{
    state.expandedBytes += bytes;
    if (state.expandedBytes > 10 * state.bytesRead + ExpansionAllowance)
        RecordFailure(state, "Maximum entity amplification factor exceeded", CurrentLine(state));
}

// True when the event belongs to the document itself. After a failure the document parser goes
// on to the end of what it has already read (so a conversion error still learns its line), but
// entity content is not parsed any further.
bool Accept(void *context, ParseState &state, std::size_t entityBytes)
{
    if (ParserContext::IsDocument(context))
        return !state.failed;
    CountExpansion(state, entityBytes);
    if (state.failed)
        Stop(context);
    return false;
}

// Entities that refer to one another are parsed again at every reference, and with each
// stopped parse only its own reference ends: a few of them referring to each other in a loop
// would keep the parser busy for minutes. Each reference from inside an entity counts as its
// text's length, and after a failure such references find nothing.
xmlEntityPtr OnGetEntity(void *context, const xmlChar *name)
{
    ParseState &state = StateOf(context);
    if (ParserContext::IsDocument(context))
        return xmlSAX2GetEntity(context, name);
    if (state.failed)
        return nullptr;
    const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (entity != nullptr)
        CountExpansion(state, static_cast<std::size_t>(entity->length) + 1);
    return state.failed ? nullptr : entity;
}

void RecordError(ParseState &state, const xmlError *error)
{
    if (error == nullptr || error->level < XML_ERR_ERROR)
        return;
    RecordFailure(state, error->message ? error->message : "", error->line);
}

void OnContextError(void *context, xmlErrorPtr error)
{
    ParseState &state = StateOf(context);
    // Lines inside an entity's text mean nothing to the reader: use the document's.
    if (!ParserContext::IsDocument(context) && error != nullptr)
        error->line = static_cast<int>(CurrentLine(state));
    RecordError(state, error);
}

// Errors raised without a parser context (character conversion, for one).
void OnLooseError(void *state, xmlErrorPtr error)
{
    RecordError(*static_cast<ParseState *>(state), error);
}

xmlParserInputPtr RefuseExternalEntity(const char *url, const char *id, xmlParserCtxtPtr)
{
    if (activeRefusals != nullptr)
        activeRefusals->push_back(url != nullptr ? url : id != nullptr ? id : "");
    return nullptr;
}

// Runs a callback body; an exception must not unwind through libxml2's C frames, so it is kept
// and the parser stopped.
template<class Body> void Guarded(void *context, ParseState &state, Body &&body)
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

// The parser leaves references to internal entities (and "&#38;" for a literal ampersand) in
// attribute values; expand them the way libxml2's own tree builder does.
[[gnu::noinline]] void AddExpandedAttribute(ParseState &state, void *context,
                                            const xmlChar **attribute)
{
    xmlChar *decoded = ParserContext::ExpandAttributeValue(context, attribute[3], attribute[4]);
    const std::unique_ptr<xmlChar, decltype(xmlFree)> owner(decoded, xmlFree);
    const std::string_view value = decoded ? reinterpret_cast<const char *>(decoded) : "";
    CountExpansion(state, value.size());
    if (state.failed)
        Stop(context);
    state.builder->Attribute(attribute[1], attribute[0], value);
}

void AddAttributeValue(ParseState &state, void *context, const xmlChar **attribute)
{
    const std::string_view raw = View(attribute[3], attribute[4]);
    if (std::memchr(raw.data(), '&', raw.size()) == nullptr)
        state.builder->Attribute(attribute[1], attribute[0], raw);
    else
        AddExpandedAttribute(state, context, attribute);
}

// The root, one of its children, or an element in an entity's content. Out of line, as are the
// other rare paths below: the quick returns of the callbacks then save and restore nothing.
[[gnu::noinline]] void StartElement(void *context, const xmlChar *localName, const xmlChar *prefix,
                                    int namespaceCount, const xmlChar **namespaces,
                                    int attributeCount, const xmlChar **attributes)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, 1))
        return;
    const int openElements = ParserContext::OpenElements(context);
    Guarded(context, state, [&] {
        BackgroundBuilder &builder = *state.builder;
        builder.StartNode(openElements == 0 ? BackgroundBuilder::NodeKind::Root
                                            : BackgroundBuilder::NodeKind::Element,
                          prefix, localName);
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar *uri = namespaces[2 * i + 1];
            builder.NamespaceDeclaration(namespaces[2 * i],
                                         uri ? reinterpret_cast<const char *>(uri) : "");
        }
        // Five pointers each: local name, prefix, URI, value, end of value. The values lie in the
        // parser's input, which stopping the parser frees.
        for (int i = 0; i < attributeCount && !ParserContext::Stopped(context); ++i)
            AddAttributeValue(state, context, attributes + 5 * i);
        if (!builder.Building())
            Stop(context);
    });
}

// A child of the root in the document: most often a waypoint, recorded at once.
[[gnu::noinline]] void StartChild(void *context, const xmlChar *localName, const xmlChar *prefix,
                                  int namespaceCount, const xmlChar **namespaces,
                                  int attributeCount, const xmlChar **attributes)
{
    ParseState &state = StateOf(context);
    if (namespaceCount != 0 || state.failed
        || !state.builder->RecordPlainChild(prefix, localName, attributes, attributeCount))
        StartElement(context, localName, prefix, namespaceCount, namespaces, attributeCount,
                     attributes);
}

// Called for every element of the file; the bulk lies deeper than the root's children and
// leaves nothing to keep, so that case returns before anything else.
void OnStartElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *,
                    int namespaceCount, const xmlChar **namespaces, int attributeCount, int,
                    const xmlChar **attributes)
{
    const int openElements = ParserContext::OpenElements(context);
    if (openElements > 1 && ParserContext::IsDocument(context))
        return;
    if (openElements == 1 && ParserContext::IsDocument(context))
        StartChild(context, localName, prefix, namespaceCount, namespaces, attributeCount,
                   attributes);
    else
        StartElement(context, localName, prefix, namespaceCount, namespaces, attributeCount,
                     attributes);
}

[[gnu::noinline]] void CountEntityCharacters(void *context, std::size_t length)
{
    Accept(context, StateOf(context), length);
}

// As often as start tags and more: the same quick return for text below the root's children.
void OnCharacters(void *context, const xmlChar *text, int length)
{
    const bool document = ParserContext::IsDocument(context);
    const int openElements = ParserContext::OpenElements(context);
    if (document && openElements > 1)
        return;
    if (!document) {
        CountEntityCharacters(context, static_cast<std::size_t>(length));
        return;
    }
    ParseState &state = StateOf(context);
    if (openElements == 1 && !state.failed)
        state.builder->TopLevelCharacters(View(text, text + length));
}

// A comment or CDATA section among the root's children becomes a node of its own.
void AddLeaf(void *context, ParseState &state, BackgroundBuilder::NodeKind kind)
{
    if (ParserContext::OpenElements(context) == 1)
        state.builder->StartNode(kind, nullptr, nullptr);
}

void OnCData(void *context, const xmlChar *, int length)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, static_cast<std::size_t>(length)))
        Guarded(context, state,
                [&] { AddLeaf(context, state, BackgroundBuilder::NodeKind::CData); });
}

void OnComment(void *context, const xmlChar *text)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, std::strlen(reinterpret_cast<const char *>(text))))
        Guarded(context, state,
                [&] { AddLeaf(context, state, BackgroundBuilder::NodeKind::Comment); });
}

void OnProcessingInstruction(void *context, const xmlChar *target, const xmlChar *)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, 1))
        Guarded(context, state, [&] {
            if (ParserContext::OpenElements(context) == 1)
                state.builder->ProcessingInstruction(reinterpret_cast<const char *>(target));
        });
}

int ReadFile(void *context, char *buffer, int length)
{
    ParseState &state = *static_cast<ParseState *>(context);
    // After the first error the rest of the file is of no use.
    if (state.failed || state.readErrno != 0)
        return 0;
    const std::size_t got = state.reader->Read(buffer, static_cast<std::size_t>(length));
    if (got == 0 && state.reader->Error() != 0)
        state.readErrno = state.reader->Error();
    state.bytesRead += got;
    return static_cast<int>(got);
}

xmlSAXHandler MakeHandler()
{
    xmlSAXHandler handler;
    // The defaults keep the DTD's declarations (for entities in attribute values); ours build
    // the document.
    xmlSAXVersion(&handler, 2);
    handler.startElement = nullptr;
    handler.endElement = nullptr;
    handler.endElementNs = nullptr; // the parser counts the open elements itself
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

std::string Failure(const std::string &description, long line, const std::string &excerpt)
{
    return description + "\r\nLine: " + std::to_string(line) + "\r\n" + excerpt;
}

// A file that cannot be read fails like a malformed one, with line 0 and no excerpt.
Error FileFailure(const char *what, const fs::path &path, const char *reason)
{
    return Error(Failure(std::string(what) + " \"" + path.string() + "\". " + reason, 0, {}));
}

// Opens the file for reading; only a regular file will do. Opening does not block, so a FIFO
// without a writer or a device is refused at once instead of hanging the window.
Descriptor OpenRegularFile(FileOps &ops, const fs::path &path, off_t &size)
{
    const RegularFile opened = carteva::OpenRegularFile(ops, path.c_str(), FileAccess::Read, true);
    if (opened.refusal != RegularFile::Refusal::None) {
        const char *reason = opened.refusal != RegularFile::Refusal::NotRegular
            ? std::strerror(opened.error)
            : opened.IsFolder() ? std::strerror(EISDIR)
                                : "Not a regular file";
        throw FileFailure("Cannot open file", path, reason);
    }
    size = opened.info.st_size;
    return Descriptor(ops, opened.fd);
}

} // namespace

GpxDocument GpxLoader::Load(const std::filesystem::path &path)
{
    return Read(path, std::nullopt);
}

GpxDocument GpxLoader::Load(const std::filesystem::path &path, std::span<const TCalibPoint> points)
{
    return Read(path, points);
}

GpxDocument GpxLoader::Read(const std::filesystem::path &path,
                            std::optional<std::span<const TCalibPoint>> points)
{
    refused_.clear();
    xmlInitParser();

    off_t size = 0;
    FileOps posix;
    const Descriptor file = OpenRegularFile(posix, path, size);
    ReadAhead reader(file.Get());

    ParseState state;
    state.reader = &reader;
    GpxDocument document;
    {
        const RefusalRecording recording(refused_);
        const ParserEnvironment environment(RefuseExternalEntity, OnLooseError, &state);
        xmlSAXHandler handler = MakeHandler();
        const ParserContext parser(handler, ReadFile, &state);
        // It reads the parser's names, so it ends first.
        BackgroundBuilder builder(static_cast<std::size_t>(size), points);
        state.builder = &builder;
        state.parser = &parser;
        // Whatever the process-wide defaults say: options left out are off, so no DTD loading,
        // no validation, no entity substitution.
        xmlCtxtUseOptions(parser.Get(), XML_PARSE_NONET);

        const bool wellFormed = xmlParseDocument(parser.Get()) == 0;

        // What building threw came from an event before whatever stopped the parse since.
        document = builder.Finish();
        if (state.exception)
            std::rethrow_exception(state.exception);
        if (state.readErrno != 0)
            throw FileFailure("Cannot read file", path, std::strerror(state.readErrno));
        if (!state.failed && !wellFormed) {
            const xmlError *last = xmlCtxtGetLastError(parser.Get());
            RecordFailure(state,
                          last != nullptr && last->message != nullptr
                              ? last->message
                              : "The file is not well-formed",
                          last != nullptr ? last->line : 0);
        }
        if (state.failed && state.line <= 0)
            state.line = CurrentLine(state);
        if (state.failed && state.encoding.empty())
            state.encoding = parser.Encoding();
        state.parser = nullptr;
        state.builder = nullptr;
    }
    if (state.failed) {
        const std::string excerpt = LineExcerpt(path, state.encoding, state.line, ExcerptUnits);
        throw Error(Failure(state.description, state.line, excerpt));
    }
    return document;
}

} // namespace carteva
