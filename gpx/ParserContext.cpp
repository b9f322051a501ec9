// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ParserContext.h"

#include "calibration/Errors.h"

#include <libxml/SAX2.h>
#include <libxml/dict.h>
#include <libxml/xmlversion.h>

#include <new>
#include <string_view>

namespace carteva {

namespace {

constexpr std::string_view Amplification = "Maximum entity amplification factor exceeded";
constexpr std::string_view Loop = "Detected an entity reference loop";
constexpr std::string_view UnnamedEncodingFault = "Invalid bytes in character encoding";

} // namespace

ParserContext::ParserContext(xmlSAXHandler &handler, xmlInputReadCallback read, void *state)
    : context_(
        xmlCreateIOParserCtxt(&handler, nullptr, read, nullptr, state, XML_CHAR_ENCODING_NONE))
{
    if (context_ == nullptr)
        throw Error("Cannot start the XML parser");
#if LIBXML_VERSION >= 21400
    xmlCtxtSetPrivate(context_, state);
#else
    context_->_private = state;
#endif
}

ParserContext::~ParserContext()
{
    // The context leaves the declarations' document to whoever asked for a tree; nobody did.
#if LIBXML_VERSION >= 21400
    xmlFreeDoc(xmlCtxtGetDocument(context_)); // which also lets go of it
#else
    if (context_->myDoc != nullptr)
        xmlFreeDoc(context_->myDoc);
    context_->myDoc = nullptr;
#endif
    xmlFreeParserCtxt(context_);
}

const xmlChar *ParserContext::Intern(const char *name) const
{
#if LIBXML_VERSION >= 21400
    xmlDictPtr dictionary = xmlCtxtGetDict(context_);
#else
    xmlDictPtr dictionary = context_->dict;
#endif
    const xmlChar *interned
        = xmlDictLookup(dictionary, reinterpret_cast<const xmlChar *>(name), -1);
    if (interned == nullptr)
        throw std::bad_alloc();
    return interned;
}

std::string ParserContext::Encoding() const
{
#if LIBXML_VERSION >= 21400
    const xmlChar *declared = xmlCtxtGetDeclaredEncoding(context_);
    return declared != nullptr ? reinterpret_cast<const char *>(declared) : "";
#else
    if (context_->inputNr < 1 || context_->inputTab[0] == nullptr)
        return {};
    const xmlParserInputBufferPtr buffer = context_->inputTab[0]->buf;
    if (buffer == nullptr || buffer->encoder == nullptr || buffer->encoder->name == nullptr)
        return {};
    return buffer->encoder->name;
#endif
}

void *ParserContext::StateOf(void *callbackContext)
{
    const auto context = static_cast<xmlParserCtxtPtr>(callbackContext);
#if LIBXML_VERSION >= 21400
    return xmlCtxtGetPrivate(context);
#else
    return context->_private;
#endif
}

bool ParserContext::InEntity() const
{
    // The count of open inputs is a public field in every series, undeprecated (2.15 adds an
    // accessor that takes a call per event, where this runs for every element and text).
    return context_->inputNr > 1;
}

int ParserContext::AttributeRoom([[maybe_unused]] xmlParserCtxtPtr context)
{
#if LIBXML_VERSION < 21200
    return context->maxatts;
#else
    return 0;
#endif
}

bool ParserContext::Stopped(void *callbackContext)
{
    const auto context = static_cast<xmlParserCtxtPtr>(callbackContext);
#if LIBXML_VERSION >= 21400
    return xmlCtxtIsStopped(context) != 0;
#else
    return context->instate == XML_PARSER_EOF || context->disableSAX != 0;
#endif
}

long ParserContext::DocumentLine() const
{
#if LIBXML_VERSION >= 21500
    int line = 0;
    if (xmlCtxtGetInputPosition(context_, 0, nullptr, &line, nullptr, nullptr) != 0)
        return 0;
    return line;
#else
    // Up to 2.14 the document's line is kept on its own input while an entity is parsed in the
    // same context; the first input is always the document's.
    if (context_->inputNr < 1 || context_->inputTab[0] == nullptr)
        return xmlSAX2GetLineNumber(context_);
    return context_->inputTab[0]->line;
#endif
}

std::string ParserContext::Description(const xmlError &error, bool nested)
{
    const std::string_view message = error.message != nullptr ? error.message : "";
    // 2.11 and later name the setting that raises their own limit; 2.9 reports amplification
    // through nested references as a loop, and Carteva's own limit names the amplification.
    if (message.starts_with(Amplification))
        return std::string(nested ? Loop : Amplification);
    return std::string(message);
}

bool ParserContext::IsUnnamedEncodingFault(const std::string &description)
{
    return description == UnnamedEncodingFault;
}

std::string ParserContext::EncodingFault(bool converted, const std::string &bytes)
{
    return converted ? "input conversion failed due to input error, bytes " + bytes
                     : "Input is not proper UTF-8, indicate encoding !\nBytes: " + bytes;
}

} // namespace carteva
