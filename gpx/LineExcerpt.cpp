// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/LineExcerpt.h"

#include "calibration/Utf.h"
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
struct BufferFreer
{
    void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
};
struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};

void IgnoreError(void *, xmlErrorPtr) { }

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
    std::unique_ptr<xmlCharEncodingHandler, HandlerCloser> handler;
    if (!encoding.empty()) {
        handler.reset(xmlFindCharEncodingHandler(encoding.c_str()));
        if (!handler)
            return {};
    }
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
