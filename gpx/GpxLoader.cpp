// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxLoader.h"

#include "calibration/Descriptor.h"
#include "gpx/BackgroundBuilder.h"
#include "gpx/EntityLimits.h"
#include "gpx/GpxFile.h"
#include "gpx/LineExcerpt.h"
#include "gpx/ParseFailure.h"
#include "gpx/ParseState.h"
#include "gpx/ParserContext.h"
#include "gpx/ParserEnvironment.h"
#include "gpx/ReadAhead.h"
#include "gpx/SaxCallbacks.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>
#include <exception>
#include <new>
#include <optional>

namespace carteva {

namespace {

constexpr const char *OutOfMemory = "Out of memory";

// After the parse: the failure to report, if any, from what the callbacks kept.
void SettleFailure(ParseState &state, const ParserContext &parser, bool wellFormed) noexcept
{
    if (!state.failed && !wellFormed) {
        const xmlError *last = xmlCtxtGetLastError(parser.Get());
        RecordFailure(state,
                      last != nullptr && last->message != nullptr ? last->message
                                                                  : "The file is not well-formed",
                      last != nullptr ? last->line : 0);
    }
    if (state.outOfMemory && !state.failed)
        RecordFailure(state, OutOfMemory, CurrentLine(state));
    if (state.failed && state.line <= 0)
        state.line = CurrentLine(state);
    if (state.failed && state.encoding.empty()) {
        try {
            state.encoding = parser.Encoding();
        } catch (...) {
            state.outOfMemory = true;
        }
    }
}

} // namespace

GpxLoader::GpxLoader()
    : ops_(realOps_)
    , threads_(realThreads_)
{ }

GpxLoader::GpxLoader(FileOps &ops, ThreadStarter &threads)
    : ops_(ops)
    , threads_(threads)
{ }

GpxOverlay GpxLoader::Load(const std::filesystem::path &path)
{
    refused_.clear();
    xmlInitParser();

    off_t size = 0;
    const Descriptor file(ops_, OpenGpxFile(ops_, path, size));

    ParseState state;
    state.refused = &refused_;
    state.progress = progress_;
    state.collectLines = collectLines_;
    state.observer = observer_;
    std::optional<GpxOverlay> overlay;
    try {
        ReadAhead reader(ops_, file.Get(), threads_,
                         progress_ != nullptr ? &progress_->CancelRequested : nullptr);
        state.reader = &reader;
        const ExternalEntityRefusal refusal(state);
        const ParserEnvironment environment(RefuseExternalEntity, OnLooseError, &state);
        xmlSAXHandler handler = MakeSaxHandler();
        const ParserContext parser(handler, ReadFromFile, &state);
        BackgroundBuilder builder(static_cast<std::size_t>(size), collectLines_, threads_);
        state.builder = &builder;
        state.parser = &parser;
        state.names = {parser.Intern("wpt"),   parser.Intern("trk"), parser.Intern("trkseg"),
                       parser.Intern("trkpt"), parser.Intern("rte"), parser.Intern("rtept"),
                       parser.Intern("lat"),   parser.Intern("lon")};
        // Whatever the process-wide defaults say: options left out are off, so no DTD loading,
        // no validation, no entity substitution.
        xmlCtxtUseOptions(parser.Get(), XML_PARSE_NONET);

        const bool wellFormed = xmlParseDocument(parser.Get()) == 0;
        if (state.cancelled)
            throw EAbort();

        // What building threw came from an event before whatever stopped the parse since.
        try {
            overlay = builder.Finish(state.tracksOrRoutes);
            if (state.exception)
                std::rethrow_exception(state.exception);
        } catch (const std::bad_alloc &) {
            state.outOfMemory = true;
        }
        if (state.readErrno != 0)
            throw FileFailure("Cannot read file", path, std::strerror(state.readErrno));
        SettleFailure(state, parser, wellFormed);
        if (!state.failed)
            state.encoding = parser.Encoding();
        state.parser = nullptr;
        state.builder = nullptr;
    } catch (const std::bad_alloc &) {
        // Setting up the load, before the parser counted any line.
        state.outOfMemory = true;
    }
    if (state.outOfMemory)
        throw Error(FailureMessage(OutOfMemory, state.line, {}));
    // Decoders differ between libxml2 series in what they name and accept: what the file's
    // encoding cannot decode is told as 2.9 tells it, and fails wherever 2.9 would fail.
    if (state.failed && ParserContext::IsUnnamedEncodingFault(state.description)) {
        const Undecodable fault = FirstUndecodable(path, state.encoding);
        if (!fault.bytes.empty())
            state.description = ParserContext::EncodingFault(fault.converted, fault.bytes);
    } else if (!state.outOfMemory && DecodesUndefinedBytes(state.encoding)) {
        const Undecodable fault = FirstUndecodable(path, state.encoding);
        if (!fault.bytes.empty() && (!state.failed || fault.line <= state.line)) {
            state.failed = true;
            state.description = ParserContext::EncodingFault(fault.converted, fault.bytes);
            state.line = fault.line;
        }
    }
    if (state.failed) {
        const std::string excerpt = LineExcerpt(path, state.encoding, state.line, ExcerptUnits);
        throw Error(FailureMessage(state.description, state.line, excerpt));
    }
    return std::move(*overlay);
}

} // namespace carteva
