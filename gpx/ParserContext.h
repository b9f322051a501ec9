// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <libxml/parser.h>

#include <string>

namespace carteva {

// The parser context of one document, and everything the loader needs from libxml2 beyond its
// public API, so that a libxml2 with other internals is a change to this pair of files only.
//
// Checked against libxml2 2.9.14 (Debian 12). What it relies on there:
// - entity content is parsed in a context of its own, which inherits `_private` from the
//   document's context and hands itself to the callbacks (2.11 and later parse entities in the
//   document's own context: IsDocument would have to look at the input stack instead);
// - the encoding in use is the name of the first input's decoder;
// - a stopped parser's state is XML_PARSER_EOF;
// - `nameNr` counts the open elements, and a start tag is reported before its element counts;
// - `maxatts` is the size of the table a start tag's attributes are collected in before any
//   callback sees them;
// - the names the callbacks receive are the dictionary's strings, one address per spelling,
//   kept until the context is freed;
// - xmlStringLenDecodeEntities, declared among the internals, expands references in attribute
//   values as the tree builder does (deprecated from 2.12 on);
// - the default SAX2 handlers keep declarations in `myDoc`, which the context does not free.
class ParserContext
{
public:
    // A parser that reads through `read` and hands `state` to it; `state` is also what
    // StateOf gives back in every callback. Throws Error when libxml2 cannot start one.
    ParserContext(xmlSAXHandler &handler, xmlInputReadCallback read, void *state);
    ~ParserContext();
    ParserContext(const ParserContext &) = delete;
    ParserContext &operator=(const ParserContext &) = delete;

    xmlParserCtxtPtr Get() const { return context_; }
    // The parser's own spelling of `name`: the names callbacks receive can be compared with it
    // by address. Throws std::bad_alloc when the dictionary cannot grow.
    const xmlChar *Intern(const char *name) const;
    // The name of the decoder in use; empty for UTF-8 (no decoder).
    std::string Encoding() const;

    // The `state` given to the constructor, from the context a callback receives: the
    // document's own or that of an entity's content.
    static void *StateOf(void *callbackContext)
    {
        return static_cast<xmlParserCtxtPtr>(callbackContext)->_private;
    }
    // True when the callback context is this document's, not that of an entity's content.
    bool IsDocument(const void *callbackContext) const { return callbackContext == context_; }
    // The elements open around the event being reported, in the document's context. Kept by
    // the parser anyway; counting them again would take an end-element callback for every
    // element of the file.
    static int OpenElements(void *callbackContext)
    {
        return static_cast<xmlParserCtxtPtr>(callbackContext)->nameNr;
    }
    // The room in the table of the start tag being read: five pointers an attribute, doubled
    // as it fills, and never shrunk.
    static int AttributeRoom(xmlParserCtxtPtr context) { return context->maxatts; }
    // True once xmlStopParser has been called on the context.
    static bool Stopped(void *callbackContext)
    {
        return static_cast<xmlParserCtxtPtr>(callbackContext)->instate == XML_PARSER_EOF;
    }
    // An attribute value with its references to internal entities (and "&#38;") expanded, as
    // the tree builder would store it; to be freed with xmlFree. Null when an entity loop or
    // another error stopped the expansion (reported through the error handler).
    static xmlChar *ExpandAttributeValue(void *callbackContext, const xmlChar *begin,
                                         const xmlChar *end);

private:
    xmlParserCtxtPtr context_;
};

} // namespace carteva
