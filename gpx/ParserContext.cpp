// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ParserContext.h"

#include "calibration/Errors.h"

#include <libxml/dict.h>
#include <libxml/parserInternals.h>

#include <new>

namespace carteva {

ParserContext::ParserContext(xmlSAXHandler &handler, xmlInputReadCallback read, void *state)
    : context_(
        xmlCreateIOParserCtxt(&handler, nullptr, read, nullptr, state, XML_CHAR_ENCODING_NONE))
{
    if (context_ == nullptr)
        throw Error("Cannot start the XML parser");
    context_->_private = state;
}

ParserContext::~ParserContext()
{
    if (context_->myDoc != nullptr)
        xmlFreeDoc(context_->myDoc);
    context_->myDoc = nullptr;
    xmlFreeParserCtxt(context_);
}

const xmlChar *ParserContext::Intern(const char *name) const
{
    const xmlChar *interned = xmlDictLookup(context_->dict, reinterpret_cast<const xmlChar *>(name), -1);
    if (interned == nullptr)
        throw std::bad_alloc();
    return interned;
}

std::string ParserContext::Encoding() const
{
    if (context_->inputNr < 1 || context_->inputTab[0] == nullptr)
        return {};
    const xmlParserInputBufferPtr buffer = context_->inputTab[0]->buf;
    if (buffer == nullptr || buffer->encoder == nullptr || buffer->encoder->name == nullptr)
        return {};
    return buffer->encoder->name;
}

xmlChar *ParserContext::ExpandAttributeValue(void *callbackContext, const xmlChar *begin,
                                             const xmlChar *end)
{
    const auto context = static_cast<xmlParserCtxtPtr>(callbackContext);
    // One level deeper, as libxml2's own expansions of entity content run: its loop detection
    // counts that depth.
    ++context->depth;
    xmlChar *expanded = xmlStringLenDecodeEntities(context, begin, static_cast<int>(end - begin),
                                                   XML_SUBSTITUTE_REF, 0, 0, 0);
    --context->depth;
    return expanded;
}

} // namespace carteva
