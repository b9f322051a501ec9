// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/LineExcerpt.h"

#include "calibration/Utf.h"
#include "gpx/ParserContext.h"
#include "gpx/ParserEnvironment.h"

#include <libxml/encoding.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <memory>

namespace carteva {

namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

struct HandlerCloser
{
    void operator()(xmlCharEncodingHandler *handler) const { xmlCharEncCloseFunc(handler); }
};
using Decoder = std::unique_ptr<xmlCharEncodingHandler, HandlerCloser>;
struct BufferFreer
{
    void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
};
struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

void IgnoreError(void *, XmlErrorArgument) { }

// The encoding a file's first bytes name whatever it declares, spelled so that libxml2 finds a
// decoder of that byte order (its own name for both UTF-16 orders is "UTF-16"); null for the
// encodings a declaration decides.
const char *SignatureEncoding(xmlCharEncoding detected)
{
    switch (detected) {
    case XML_CHAR_ENCODING_UTF16LE: return "UTF-16LE";
    case XML_CHAR_ENCODING_UTF16BE: return "UTF-16BE";
    case XML_CHAR_ENCODING_UCS4LE: return "UCS-4LE";
    case XML_CHAR_ENCODING_UCS4BE: return "UCS-4BE";
    default: return nullptr;
    }
}

} // namespace

std::string Utf16Prefix(std::string_view utf8, std::size_t maxUnits)
{
    std::string out;
    std::size_t units = 0;
    while (!utf8.empty()) {
        // A NUL counts as invalid too: the excerpt ends up in C strings.
        const std::size_t length = utf8[0] == '\0' ? 0 : DecodeUtf8(utf8).Length;
        const std::size_t charUnits = Utf16Units(length);
        if (units + charUnits > maxUnits)
            break;
        units += charUnits;
        if (length == 0) {
            out += ReplacementCharacter;
            utf8.remove_prefix(1);
        } else {
            out += utf8.substr(0, length);
            utf8.remove_prefix(length);
        }
    }
    return out;
}

namespace {

// The decoder for the file's encoding: null for UTF-8. A byte-order mark or the pattern of the
// first bytes names the encoding before any declaration does; some libxml2 series tell only the
// declared one. False when libxml2 has no decoder for it.
bool OpenDecoder(std::FILE *file, const std::string &encoding, Decoder &handler)
{
    unsigned char start[4] = {};
    const std::size_t startLength = std::fread(start, 1, sizeof start, file);
    std::rewind(file);
    const char *name
        = SignatureEncoding(xmlDetectCharEncoding(start, static_cast<int>(startLength)));
    if (name == nullptr && !encoding.empty())
        name = encoding.c_str();
    if (name != nullptr)
        handler.reset(xmlFindCharEncodingHandler(name));
    return name == nullptr || handler;
}

std::string Hex(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes.substr(0, 4)) {
        const auto byte = static_cast<unsigned char>(c);
        if (!out.empty())
            out += ' ';
        out += "0x";
        out += Digits[byte >> 4];
        out += Digits[byte & 0xF];
    }
    return out;
}

} // namespace

Undecodable FirstUndecodable(const std::filesystem::path &path, const std::string &encoding)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return {};
    const ParserEnvironment quiet(xmlGetExternalEntityLoader(), IgnoreError, nullptr);
    Decoder handler;
    if (!OpenDecoder(file.get(), encoding, handler))
        return {};
    std::unique_ptr<xmlBuffer, BufferFreer> raw(xmlBufferCreate());
    std::unique_ptr<xmlBuffer, BufferFreer> decoded(xmlBufferCreate());
    std::string pending; // UTF-8 bytes of a character a chunk cut, and what follows a fault
    char chunk[65536];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (handler) {
            if (got == 0)
                return {};
            xmlBufferAdd(raw.get(), reinterpret_cast<const xmlChar *>(chunk), got);
            xmlBufferEmpty(decoded.get());
            if (xmlCharEncInFunc(handler.get(), decoded.get(), raw.get()) < 0)
                return {true, Hex({reinterpret_cast<const char *>(xmlBufferContent(raw.get())),
                                   static_cast<std::size_t>(xmlBufferLength(raw.get()))})};
            continue;
        }
        pending.append(chunk, got);
        std::string_view rest = pending;
        // With four bytes in sight a sequence is either whole or not UTF-8; fewer may be a
        // character the chunk cut.
        while (!rest.empty() && (rest.size() >= 4 || got == 0)) {
            const std::size_t length = DecodeUtf8(rest).Length;
            if (length == 0)
                return {false, Hex(rest)};
            rest.remove_prefix(length);
        }
        if (got == 0)
            return {};
        pending = std::string(rest);
    }
}

std::string LineExcerpt(const std::filesystem::path &path, const std::string &encoding, long line,
                        std::size_t maxUnits)
{
    if (line < 1)
        return {};
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return {};
    // The text may hold the very bytes that made the parser fail: keep libxml2 from reporting
    // them again on stderr.
    const ParserEnvironment quiet(xmlGetExternalEntityLoader(), IgnoreError, nullptr);
    Decoder handler;
    if (!OpenDecoder(file.get(), encoding, handler))
        return {};
    std::unique_ptr<xmlBuffer, BufferFreer> raw(xmlBufferCreate());
    std::unique_ptr<xmlBuffer, BufferFreer> decoded(xmlBufferCreate());

    // Enough bytes for maxUnits units however the text is spelled, plus a byte-order mark.
    const std::size_t enough = 4 * maxUnits + ByteOrderMark.size();
    std::string text;
    long current = 1;
    bool lineEnded = false;
    bool decodeFailed = false;
    char chunk[65536];
    while (!lineEnded && !decodeFailed) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        if (got == 0)
            break;
        std::string_view piece(chunk, got);
        if (handler) {
            xmlBufferAdd(raw.get(), reinterpret_cast<const xmlChar *>(chunk), got);
            xmlBufferEmpty(decoded.get());
            // Stops at the first byte that cannot be decoded; what came before it still counts.
            decodeFailed = xmlCharEncInFunc(handler.get(), decoded.get(), raw.get()) < 0;
            piece
                = std::string_view(reinterpret_cast<const char *>(xmlBufferContent(decoded.get())),
                                   xmlBufferLength(decoded.get()));
        }
        for (const char c : piece) {
            if (current < line) {
                current += c == '\n';
            } else if (c == '\n' || c == '\r' || text.size() >= enough) {
                lineEnded = true;
                break;
            } else {
                text += c;
            }
        }
    }
    std::string_view result = text;
    if (line == 1 && result.starts_with(ByteOrderMark))
        result.remove_prefix(ByteOrderMark.size());
    return Utf16Prefix(result, maxUnits);
}

} // namespace carteva
