// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <string>

namespace carteva {

namespace detail {
template<class> struct ErrorArgument;
template<class Result, class Context, class Error> struct ErrorArgument<Result (*)(Context, Error)>
{
    using type = Error;
};
} // namespace detail

// What libxml2 hands a structured error handler: a pointer to a writable error up to 2.11, to
// a const one from 2.12 on. Taken from the library's own declaration, so either one builds.
using XmlErrorArgument = detail::ErrorArgument<xmlStructuredErrorFunc>::type;

// The parser context of one document, and everything that differs between the libxml2 series
// Carteva builds against (2.9 to 2.15), so that the rest of the loader uses one API.
//
// What differs, and how each is decided:
// - entity content: 2.9 parses it in a context of its own, which inherits `_private` and hands
//   itself to the callbacks; from 2.11 on it is parsed in the document's context on an input of
//   its own. IsDocument asks both (another context, or more than one input open), so it needs no
//   version number;
// - user data, the stopped state, the input's line: fields up to 2.13, accessors from 2.14 on
//   (the line from 2.15), where the fields are deprecated; the count of open inputs is a field
//   in every series;
// - the encoding in use: the name of the first input's decoder up to 2.13; later series keep it
//   to themselves, and the declared encoding is what a public call tells (a byte-order mark or
//   the first bytes' pattern name the rest, see LineExcerpt);
// - a start tag's attribute table: up to 2.11 the parser compares attributes pairwise once the
//   tag is read, so its room is watched while it is read (AttributeRoom); from 2.12 on duplicate
//   attributes are found by hashing and nothing needs watching there;
// - descriptions of the same fault worded differently by later series are told in 2.9's words
//   (Description), so that a file fails with the same message whatever libxml2 reads it.
//
// The names the callbacks receive are the dictionary's strings, one address per spelling, kept
// until the context is freed; the default SAX2 handlers keep declarations in `myDoc`, which the
// context does not free. Both hold in every series.
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
    // The name of the encoding the document is read in, as far as the library tells it; empty
    // for UTF-8 without a declaration.
    std::string Encoding() const;

    // The `state` given to the constructor, from the context a callback receives: the
    // document's own or that of an entity's content.
    static void *StateOf(void *callbackContext);
    // True when the callback reports the document itself, not an entity's content.
    bool IsDocument(const void *callbackContext) const
    {
        return callbackContext == context_ && !InEntity();
    }
    // The room in the table of the start tag being read, in pointers, where the series compares
    // attributes pairwise; 0 where it does not.
    static int AttributeRoom(xmlParserCtxtPtr context);
    // True once the parser was stopped, by xmlStopParser or a fatal error.
    static bool Stopped(void *callbackContext);
    // The line the document's own input has reached (not an entity's).
    long DocumentLine() const;

    // The description of `error` in the words 2.9 uses for it; `nested` tells whether the
    // entities expanded so far refer to other entities, which 2.9 reports as a loop where later
    // series report the amplification.
    static std::string Description(const xmlError &error, bool nested);
    // True for the description 2.13 and later give every byte their decoders refuse, which
    // names neither the bytes nor whether a converter ran; EncodingFault words it as 2.9 does,
    // from the bytes and whether the encoding is other than UTF-8.
    static bool IsUnnamedEncodingFault(const std::string &description);
    static std::string EncodingFault(bool converted, const std::string &bytes);

private:
    bool InEntity() const;

    xmlParserCtxtPtr context_;
};

} // namespace carteva
