// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

namespace carteva {

// libxml2 settings that are not per parser, replaced for the lifetime of this object and then
// put back: the process-wide external entity loader, this thread's structured error handler
// (for errors raised without a parser context) and its generic error handler, which would
// otherwise print to stderr. Not for parses on several threads at once: the loader is shared.
class ParserEnvironment
{
public:
    ParserEnvironment(xmlExternalEntityLoader loader, xmlStructuredErrorFunc onError,
                      void *errorContext);
    ~ParserEnvironment();
    ParserEnvironment(const ParserEnvironment &) = delete;
    ParserEnvironment &operator=(const ParserEnvironment &) = delete;

private:
    xmlExternalEntityLoader loader_;
    xmlStructuredErrorFunc structured_;
    void *structuredContext_;
    xmlGenericErrorFunc generic_;
    void *genericContext_;
};

} // namespace carteva
