#include "gpx/GpxLoader.h"

#include "calibration/Errors.h"
#include "gpx/GpxDocumentBuilder.h"
#include "gpx/LineExcerpt.h"
#include "gpx/ParserEnvironment.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace carteva {

namespace {

namespace fs = std::filesystem;

// Values that grew through entities may add this much beyond ten times the bytes read so far;
// more is an expansion attack, since the document keeps every value.
constexpr std::size_t ExpansionAllowance = 1 << 20;
constexpr std::size_t ReadBufferSize = 1 << 20;

struct ParseState
{
    GpxDocumentBuilder builder;
    xmlParserCtxtPtr context = nullptr;

    std::FILE *file = nullptr;
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

ParseState &StateOf(void *context)
{
    return *static_cast<ParseState *>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

std::string EncodingOf(xmlParserCtxtPtr context)
{
    if (context == nullptr || context->inputNr < 1 || context->inputTab[0] == nullptr)
        return {};
    const xmlParserInputBufferPtr buffer = context->inputTab[0]->buf;
    if (buffer == nullptr || buffer->encoder == nullptr || buffer->encoder->name == nullptr)
        return {};
    return buffer->encoder->name;
}

long CurrentLine(xmlParserCtxtPtr context)
{
    return context != nullptr && context->input != nullptr ? context->input->line : 0;
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
    state.encoding = EncodingOf(state.context);
}

// Entity content is parsed in a context of its own, once per reference, and adds nothing to the
// document. libxml2 does not limit how often a large entity is parsed again this way, so its
// volume is limited here, as is that of entities expanded in attribute values.
void CountExpansion(ParseState &state, std::size_t bytes)
{
    state.expandedBytes += bytes;
    if (state.expandedBytes > 10 * state.bytesRead + ExpansionAllowance)
        RecordFailure(state, "Maximum entity amplification factor exceeded",
                      CurrentLine(state.context));
}

// True when the event belongs to the document itself. After a failure the document parser goes
// on to the end of what it has already read (so a conversion error still learns its line), but
// entity content is not parsed any further.
bool Accept(void *context, ParseState &state, std::size_t entityBytes)
{
    if (context == state.context)
        return !state.failed;
    CountExpansion(state, entityBytes);
    if (state.failed)
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    return false;
}

// Entities that refer to one another are parsed again at every reference, and with each
// stopped parse only its own reference ends: a few of them referring to each other in a loop
// would keep the parser busy for minutes. Each reference from inside an entity counts as its
// text's length, and after a failure such references find nothing.
xmlEntityPtr OnGetEntity(void *context, const xmlChar *name)
{
    ParseState &state = StateOf(context);
    if (context == state.context)
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
    if (context != state.context && error != nullptr)
        error->line = static_cast<int>(CurrentLine(state.context));
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
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }
}

std::string_view View(const xmlChar *begin, const xmlChar *end)
{
    return {reinterpret_cast<const char *>(begin), static_cast<std::size_t>(end - begin)};
}

// The parser leaves references to internal entities (and "&#38;" for a literal ampersand) in
// attribute values; expand them the way libxml2's own tree builder does.
void AddAttributeValue(ParseState &state, xmlParserCtxtPtr context, const xmlChar **attribute)
{
    const xmlChar *begin = attribute[3], *end = attribute[4];
    const std::string_view raw = View(begin, end);
    if (raw.find('&') == std::string_view::npos) {
        state.builder.Attribute(attribute[1], attribute[0], raw);
        return;
    }
    ++context->depth;
    xmlChar *decoded = xmlStringLenDecodeEntities(context, begin, static_cast<int>(end - begin),
                                                  XML_SUBSTITUTE_REF, 0, 0, 0);
    --context->depth;
    const std::unique_ptr<xmlChar, decltype(xmlFree)> owner(decoded, xmlFree);
    const std::string_view value = decoded ? reinterpret_cast<const char *>(decoded) : "";
    CountExpansion(state, value.size());
    if (state.failed)
        xmlStopParser(context);
    state.builder.Attribute(attribute[1], attribute[0], value);
}

void OnStartElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *,
                    int namespaceCount, const xmlChar **namespaces, int attributeCount, int,
                    const xmlChar **attributes)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, 1))
        return;
    Guarded(context, state, [&] {
        if (!state.builder.StartElement(prefix, localName))
            return;
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar *uri = namespaces[2 * i + 1];
            state.builder.NamespaceDeclaration(namespaces[2 * i],
                                               uri ? reinterpret_cast<const char *>(uri) : "");
        }
        // Five pointers each: local name, prefix, URI, value, end of value. The values lie in the
        // parser's input, which stopping the parser frees.
        const auto parser = static_cast<xmlParserCtxtPtr>(context);
        for (int i = 0; i < attributeCount && parser->instate != XML_PARSER_EOF; ++i)
            AddAttributeValue(state, parser, attributes + 5 * i);
    });
}

void OnEndElement(void *context, const xmlChar *, const xmlChar *, const xmlChar *)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, 0))
        Guarded(context, state, [&] { state.builder.EndElement(); });
}

void OnCharacters(void *context, const xmlChar *text, int length)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, static_cast<std::size_t>(length)))
        state.builder.Characters(View(text, text + length));
}

void OnCData(void *context, const xmlChar *, int length)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, static_cast<std::size_t>(length)))
        Guarded(context, state, [&] { state.builder.CData(); });
}

void OnComment(void *context, const xmlChar *text)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, std::strlen(reinterpret_cast<const char *>(text))))
        Guarded(context, state, [&] { state.builder.Comment(); });
}

void OnProcessingInstruction(void *context, const xmlChar *target, const xmlChar *)
{
    ParseState &state = StateOf(context);
    if (Accept(context, state, 1))
        Guarded(context, state, [&] {
            state.builder.ProcessingInstruction(reinterpret_cast<const char *>(target));
        });
}

int ReadFile(void *context, char *buffer, int length)
{
    ParseState &state = *static_cast<ParseState *>(context);
    // After the first error the rest of the file is of no use.
    if (state.failed || state.readErrno != 0)
        return 0;
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(length), state.file);
    if (got == 0 && std::ferror(state.file))
        state.readErrno = errno != 0 ? errno : EIO;
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
    handler.reference = nullptr;
    handler.getEntity = OnGetEntity;
    handler.startElementNs = OnStartElement;
    handler.endElementNs = OnEndElement;
    handler.characters = OnCharacters;
    handler.ignorableWhitespace = OnCharacters;
    handler.cdataBlock = OnCData;
    handler.comment = OnComment;
    handler.processingInstruction = OnProcessingInstruction;
    handler.serror = OnContextError;
    return handler;
}

struct ContextFreer
{
    void operator()(xmlParserCtxt *context) const
    {
        if (context->myDoc != nullptr)
            xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
        xmlFreeParserCtxt(context);
    }
};
struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

std::string FileMessage(const char *what, const std::filesystem::path &path, int error)
{
    return std::string(what) + " \"" + path.string() + "\". " + std::strerror(error);
}

} // namespace

GpxDocument GpxLoader::Load(const std::filesystem::path &path)
{
    refused_.clear();
    xmlInitParser();

    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw Error(FileMessage("Cannot open file", path, errno != 0 ? errno : ENOENT));
    std::setvbuf(file.get(), nullptr, _IOFBF, ReadBufferSize);

    ParseState state;
    state.file = file.get();
    // Upper estimates for waypoint files: a waypoint takes at least about 20 bytes, two
    // attributes and a dozen bytes of values.
    std::error_code sizeError;
    const std::uintmax_t size = fs::file_size(path, sizeError);
    if (!sizeError)
        state.builder.Document().Reserve(size / 20, size / 10, size / 4);
    {
        const RefusalRecording recording(refused_);
        const ParserEnvironment environment(RefuseExternalEntity, OnLooseError, &state);
        xmlSAXHandler handler = MakeHandler();
        const std::unique_ptr<xmlParserCtxt, ContextFreer> context(xmlCreateIOParserCtxt(
            &handler, nullptr, ReadFile, nullptr, &state, XML_CHAR_ENCODING_NONE));
        if (!context)
            throw Error("Cannot start the XML parser");
        state.context = context.get();
        context->_private = &state;
        xmlCtxtUseOptions(context.get(), XML_PARSE_NONET);
        // Whatever the process-wide defaults say: no DTD loading, no validation, no entity
        // substitution.
        context->loadsubset = 0;
        context->validate = 0;
        context->replaceEntities = 0;

        xmlParseDocument(context.get());

        if (state.exception)
            std::rethrow_exception(state.exception);
        if (state.readErrno != 0)
            throw Error(FileMessage("Cannot read file", path, state.readErrno));
        if (!state.failed && !context->wellFormed) {
            const xmlError &last = context->lastError;
            RecordFailure(state, last.message ? last.message : "The file is not well-formed",
                          last.line);
        }
        if (state.failed && state.line <= 0)
            state.line = CurrentLine(context.get());
        if (state.failed && state.encoding.empty())
            state.encoding = EncodingOf(context.get());
    }
    if (state.failed) {
        const std::string excerpt = LineExcerpt(path, state.encoding, state.line, ExcerptUnits);
        throw Error(state.description + "\r\nLine: " + std::to_string(state.line) + "\r\n"
                    + excerpt);
    }
    return std::move(state.builder.Document());
}

} // namespace carteva
