#include "gpx/GpxLoader.h"

#include "calibration/Errors.h"
#include "gpx/LineExcerpt.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace carteva {

namespace {

using NameId = GpxDocument::NameId;

// Values that grew through entities may add this much beyond ten times the bytes read so far;
// more is an expansion attack, since the document keeps every value.
constexpr std::size_t ExpansionAllowance = 1 << 20;
constexpr std::size_t ReadBufferSize = 1 << 20;

struct ParseState
{
    GpxDocument document;
    xmlParserCtxtPtr context = nullptr;
    int depth = 0; // open elements: 1 inside the root
    bool textOpen = false;
    bool textBlank = true;
    NameId textName = 0, cdataName = 0, commentName = 0;

    // Element and attribute names come from the parser's dictionary, so one spelling always
    // has one address: a small cache keyed by address saves building the qualified name again.
    struct CachedName
    {
        const xmlChar *prefix = nullptr;
        const xmlChar *localName = nullptr;
        NameId id = 0;
    };
    std::array<CachedName, 256> nameCache {};

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
    if (state.failed)
        return;
    while (!description.empty() && description.back() == '\n')
        description.pop_back();
    state.failed = true;
    state.description = std::move(description);
    state.line = line > 0 ? line : CurrentLine(state.context);
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

// True when the event belongs to the document itself and the parse goes on.
bool Accept(void *context, ParseState &state, std::size_t entityBytes)
{
    const bool fromDocument = context == state.context;
    if (!fromDocument)
        CountExpansion(state, entityBytes);
    if (state.failed)
        xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    return fromDocument && !state.failed;
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

void IgnoreGenericError(void *, const char *, ...) { }

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

bool IsBlank(const xmlChar *text, int length)
{
    for (int i = 0; i < length; ++i) {
        const xmlChar c = text[i];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

NameId QualifiedName(ParseState &state, const xmlChar *prefix, const xmlChar *localName)
{
    const auto key = reinterpret_cast<std::uintptr_t>(localName) >> 3
        ^ reinterpret_cast<std::uintptr_t>(prefix) >> 5;
    ParseState::CachedName &slot = state.nameCache[key % state.nameCache.size()];
    if (slot.localName == localName && slot.prefix == prefix && localName != nullptr)
        return slot.id;
    std::string name;
    if (prefix != nullptr) {
        name = reinterpret_cast<const char *>(prefix);
        name += ':';
    }
    name += reinterpret_cast<const char *>(localName);
    slot = {prefix, localName, state.document.InternName(name)};
    return slot.id;
}

NameId InternedOnce(ParseState &state, NameId &id, std::string_view name)
{
    if (id == 0)
        id = state.document.InternName(name) + 1;
    return id - 1;
}

void FlushText(ParseState &state)
{
    if (state.textOpen && !state.textBlank)
        state.document.AddChild(GpxNodeKind::Text, InternedOnce(state, state.textName, "#text"));
    state.textOpen = false;
}

std::string_view View(const xmlChar *begin, const xmlChar *end)
{
    return {reinterpret_cast<const char *>(begin), static_cast<std::size_t>(end - begin)};
}

// The parser leaves references to internal entities (and "&#38;" for a literal ampersand) in
// attribute values; expand them the way libxml2's own tree builder does.
void AddAttributeValue(ParseState &state, xmlParserCtxtPtr context, NameId name,
                       const xmlChar *begin, const xmlChar *end)
{
    const std::string_view raw = View(begin, end);
    if (raw.find('&') == std::string_view::npos) {
        state.document.AddAttribute(name, raw);
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
    state.document.AddAttribute(name, value);
}

void AddAttributes(ParseState &state, xmlParserCtxtPtr context, int namespaceCount,
                   const xmlChar **namespaces, int attributeCount, const xmlChar **attributes)
{
    // A DOM lists namespace declarations among the attributes.
    for (int i = 0; i < namespaceCount; ++i) {
        const xmlChar *prefix = namespaces[2 * i];
        const char *uri = reinterpret_cast<const char *>(namespaces[2 * i + 1]);
        const NameId name = prefix != nullptr
            ? QualifiedName(state, reinterpret_cast<const xmlChar *>("xmlns"), prefix)
            : state.document.InternName("xmlns");
        state.document.AddAttribute(name, uri != nullptr ? uri : "");
    }
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar **attribute = attributes + 5 * i; // localname, prefix, URI, value, end
        AddAttributeValue(state, context, QualifiedName(state, attribute[1], attribute[0]),
                          attribute[3], attribute[4]);
    }
}

void OnStartElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *,
                    int namespaceCount, const xmlChar **namespaces, int attributeCount, int,
                    const xmlChar **attributes)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, 1))
        return;
    Guarded(context, state, [&] {
        const auto ctxt = static_cast<xmlParserCtxtPtr>(context);
        if (state.depth == 0 && !state.document.HasRoot()) {
            state.document.SetRoot(QualifiedName(state, prefix, localName));
            AddAttributes(state, ctxt, namespaceCount, namespaces, attributeCount, attributes);
        } else if (state.depth == 1) {
            FlushText(state);
            state.document.AddChild(GpxNodeKind::Element, QualifiedName(state, prefix, localName));
            AddAttributes(state, ctxt, namespaceCount, namespaces, attributeCount, attributes);
        }
        ++state.depth;
    });
}

void OnEndElement(void *context, const xmlChar *, const xmlChar *, const xmlChar *)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, 0))
        return;
    Guarded(context, state, [&] {
        if (state.depth == 1)
            FlushText(state);
        --state.depth;
    });
}

void OnCharacters(void *context, const xmlChar *text, int length)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, static_cast<std::size_t>(length)) || state.depth != 1)
        return;
    if (!state.textOpen) {
        state.textOpen = true;
        state.textBlank = true;
    }
    if (state.textBlank)
        state.textBlank = IsBlank(text, length);
}

void AddLeaf(void *context, GpxNodeKind kind, NameId &nameCache, std::string_view name,
             std::size_t length)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, length) || state.depth != 1)
        return;
    Guarded(context, state, [&] {
        FlushText(state);
        state.document.AddChild(kind, InternedOnce(state, nameCache, name));
    });
}

void OnCData(void *context, const xmlChar *, int length)
{
    AddLeaf(context, GpxNodeKind::CData, StateOf(context).cdataName, "#cdata-section",
            static_cast<std::size_t>(length));
}

void OnComment(void *context, const xmlChar *text)
{
    AddLeaf(context, GpxNodeKind::Comment, StateOf(context).commentName, "#comment",
            std::strlen(reinterpret_cast<const char *>(text)));
}

void OnProcessingInstruction(void *context, const xmlChar *target, const xmlChar *)
{
    ParseState &state = StateOf(context);
    if (!Accept(context, state, 1) || state.depth != 1)
        return;
    Guarded(context, state, [&] {
        FlushText(state);
        state.document.AddChild(GpxNodeKind::ProcessingInstruction,
                                state.document.InternName(reinterpret_cast<const char *>(target)));
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

// Installs the refusing entity loader and our error handlers for one parse, and puts back what
// was there before.
class ParserEnvironment
{
public:
    ParserEnvironment(ParseState &state, std::vector<std::string> &refused)
        : loader_(xmlGetExternalEntityLoader())
        , structured_(xmlStructuredError)
        , structuredContext_(xmlStructuredErrorContext)
        , generic_(xmlGenericError)
        , genericContext_(xmlGenericErrorContext)
    {
        activeRefusals = &refused;
        xmlSetExternalEntityLoader(RefuseExternalEntity);
        xmlSetStructuredErrorFunc(&state, OnLooseError);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    }
    ~ParserEnvironment()
    {
        xmlSetGenericErrorFunc(genericContext_, generic_);
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetExternalEntityLoader(loader_);
        activeRefusals = nullptr;
    }
    ParserEnvironment(const ParserEnvironment &) = delete;
    ParserEnvironment &operator=(const ParserEnvironment &) = delete;

private:
    xmlExternalEntityLoader loader_;
    xmlStructuredErrorFunc structured_;
    void *structuredContext_;
    xmlGenericErrorFunc generic_;
    void *genericContext_;
};

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
    {
        const ParserEnvironment environment(state, refused_);
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
        if (state.failed && state.encoding.empty())
            state.encoding = EncodingOf(context.get());
    }
    if (state.failed) {
        const std::string excerpt = LineExcerpt(path, state.encoding, state.line, ExcerptUnits);
        throw Error(state.description + "\r\nLine: " + std::to_string(state.line) + "\r\n"
                    + excerpt);
    }
    state.document.Compact();
    return std::move(state.document);
}

} // namespace carteva
