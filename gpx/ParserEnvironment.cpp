// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ParserEnvironment.h"

#include <libxml/globals.h>

namespace carteva {

namespace {

void IgnoreGenericError(void *, const char *, ...) { }

} // namespace

ParserEnvironment::ParserEnvironment(xmlExternalEntityLoader loader, xmlStructuredErrorFunc onError,
                                     void *errorContext)
    : loader_(xmlGetExternalEntityLoader())
    , structured_(xmlStructuredError)
    , structuredContext_(xmlStructuredErrorContext)
    , generic_(xmlGenericError)
    , genericContext_(xmlGenericErrorContext)
{
    xmlSetExternalEntityLoader(loader);
    xmlSetStructuredErrorFunc(errorContext, onError);
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
}

ParserEnvironment::~ParserEnvironment()
{
    xmlSetGenericErrorFunc(genericContext_, generic_);
    xmlSetStructuredErrorFunc(structuredContext_, structured_);
    xmlSetExternalEntityLoader(loader_);
}

} // namespace carteva
