// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/EntityLimits.h"

#include "gpx/ParseFailure.h"

namespace carteva {

namespace {

// Values that grew through entities may add this much beyond ten times the bytes read so far;
// more is an expansion attack.
constexpr std::size_t ExpansionAllowance = 1 << 20;

thread_local ParseState *refusingFor = nullptr;

} // namespace

void CountExpansion(ParseState &state, std::size_t bytes) noexcept
{
    state.expandedBytes += bytes;
    if (state.expandedBytes > 10 * state.bytesRead + ExpansionAllowance)
        RecordFailure(state, "Maximum entity amplification factor exceeded", CurrentLine(state));
}

bool Accept(void *context, ParseState &state, std::size_t entityBytes) noexcept
{
    if (IsDocument(state, context))
        return !state.failed;
    CountExpansion(state, entityBytes);
    if (state.failed)
        Stop(context);
    return false;
}

// Entities that refer to one another are parsed again at every reference, and with each
// stopped parse only its own reference ends: a few of them referring to each other in a loop
// would keep the parser busy for minutes.
xmlEntityPtr OnGetEntity(void *context, const xmlChar *name) noexcept
{
    ParseState &state = StateOf(context);
    if (IsDocument(state, context))
        return xmlSAX2GetEntity(context, name);
    if (state.failed)
        return nullptr;
    const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (entity != nullptr)
        CountExpansion(state, static_cast<std::size_t>(entity->length) + 1);
    return state.failed ? nullptr : entity;
}

xmlParserInputPtr RefuseExternalEntity(const char *url, const char *id, xmlParserCtxtPtr) noexcept
{
    ParseState *state = refusingFor;
    if (state == nullptr || state->refused == nullptr)
        return nullptr;
    try {
        state->refused->push_back(url != nullptr ? url : id != nullptr ? id : "");
    } catch (...) {
        // The refusal stands; the list only reports it.
        state->outOfMemory = true;
    }
    return nullptr;
}

ExternalEntityRefusal::ExternalEntityRefusal(ParseState &state)
{
    refusingFor = &state;
}

ExternalEntityRefusal::~ExternalEntityRefusal()
{
    refusingFor = nullptr;
}

} // namespace carteva
