// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/EntityLimits.h"

#include "calibration/Utf.h"
#include "gpx/ParseFailure.h"

#include <libxml/SAX2.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace carteva {

namespace {

// Values that grew through entities may add this much beyond ten times the bytes read so far;
// more is an expansion attack.
constexpr std::size_t ExpansionAllowance = 1 << 20;

// As deep as libxml2 2.9 expands references in attribute values before it calls it a loop.
constexpr int MaxExpansionDepth = 40;

thread_local ParseState *refusingFor = nullptr;

void FailAsLoop(ParseState &state)
{
    RecordFailure(state, "Detected an entity reference loop", CurrentLine(state));
}

// "&#NN;" or "&#xHH;" at the start of `text` (without "&#"); the parser checked the character
// when it read the value or the declaration. False when it is not one.
bool CharacterReference(std::string_view &text, std::string &out)
{
    const bool hex = !text.empty() && text[0] == 'x';
    std::size_t i = hex ? 1 : 0;
    unsigned long code = 0;
    for (; i < text.size() && text[i] != ';'; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'              ? c - '0'
            : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                            : -1;
        if (digit < 0 || code > 0x10FFFF)
            return false;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == text.size() || i == (hex ? 1u : 0u) || code > 0x10FFFF)
        return false;
    AppendUtf8(out, static_cast<char32_t>(code));
    text.remove_prefix(i + 1);
    return true;
}

struct Expansion
{
    ParseState &state;
    void *context;
    std::string out;
    std::vector<const xmlEntity *> open; // the entities being expanded, outermost first
};

void Expand(Expansion &expansion, std::string_view text)
{
    ParseState &state = expansion.state;
    const bool inEntity = !expansion.open.empty();
    while (!text.empty() && !state.failed) {
        const std::size_t amp = text.find('&');
        const std::string_view plain = text.substr(0, amp);
        expansion.out += plain;
        if (inEntity)
            CountExpansion(state, plain.size());
        if (amp == std::string_view::npos)
            return;
        text.remove_prefix(amp + 1);
        if (text.starts_with('#')) {
            text.remove_prefix(1);
            if (!CharacterReference(text, expansion.out))
                expansion.out += "&#";
            continue;
        }
        const std::size_t semicolon = text.find(';');
        if (semicolon == std::string_view::npos) {
            expansion.out += '&';
            continue;
        }
        const std::string name(text.substr(0, semicolon));
        text.remove_prefix(semicolon + 1);
        const xmlEntity *entity
            = xmlSAX2GetEntity(expansion.context, reinterpret_cast<const xmlChar *>(name.c_str()));
        // Undeclared and external entities the parser has reported already.
        if (entity == nullptr || entity->content == nullptr)
            continue;
        const std::string_view content(reinterpret_cast<const char *>(entity->content),
                                       static_cast<std::size_t>(entity->length));
        if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) {
            expansion.out += content;
            continue;
        }
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY)
            continue;
        NoteEntity(state, entity);
        if (static_cast<int>(expansion.open.size()) >= MaxExpansionDepth
            || std::find(expansion.open.begin(), expansion.open.end(), entity)
                != expansion.open.end()) {
            FailAsLoop(state);
            return;
        }
        expansion.open.push_back(entity);
        Expand(expansion, content);
        expansion.open.pop_back();
    }
}

} // namespace

void CountExpansion(ParseState &state, std::size_t bytes) noexcept
{
    state.expandedBytes += bytes;
    if (state.expandedBytes <= 10 * state.bytesRead + ExpansionAllowance)
        return;
    if (state.nestedEntities)
        FailAsLoop(state);
    else
        RecordFailure(state, "Maximum entity amplification factor exceeded", CurrentLine(state));
}

void NoteEntity(ParseState &state, const xmlEntity *entity) noexcept
{
    if (state.nestedEntities || entity == state.lastEntityLookedAt || entity->content == nullptr
        || entity->etype == XML_INTERNAL_PREDEFINED_ENTITY)
        return;
    state.lastEntityLookedAt = entity;
    const auto length = static_cast<std::size_t>(entity->length);
    state.nestedEntities = std::memchr(entity->content, '&', length) != nullptr;
}

std::string ExpandAttributeValue(ParseState &state, void *context, std::string_view value)
{
    Expansion expansion {state, context, {}, {}};
    Expand(expansion, value);
    return std::move(expansion.out);
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
    if (IsDocument(state, context)) {
        const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
        if (entity != nullptr)
            NoteEntity(state, entity);
        return entity;
    }
    if (state.failed)
        return nullptr;
    const xmlEntityPtr entity = xmlSAX2GetEntity(context, name);
    if (entity != nullptr) {
        NoteEntity(state, entity);
        CountExpansion(state, static_cast<std::size_t>(entity->length) + 1);
    }
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
