#include "gpx/LineExcerpt.h"

#include <libxml/encoding.h>
#include <libxml/globals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <memory>

namespace carteva {

namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// Length of the valid UTF-8 sequence at the start of `text`, 0 when it is not one. A NUL counts
// as invalid too: the excerpt ends up in C strings.
std::size_t SequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    char32_t c;
    if (lead < 0x80)
        return lead == 0 ? 0 : 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    if (overlong || surrogate || c > 0x10FFFF)
        return 0;
    return length;
}

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

// The text may hold the very bytes that made the parser fail: keep libxml2 from reporting them
// again on stderr.
class QuietErrors
{
public:
    QuietErrors()
        : handler_(xmlStructuredError)
        , context_(xmlStructuredErrorContext)
    {
        xmlSetStructuredErrorFunc(nullptr, IgnoreError);
    }
    ~QuietErrors() { xmlSetStructuredErrorFunc(context_, handler_); }
    QuietErrors(const QuietErrors &) = delete;
    QuietErrors &operator=(const QuietErrors &) = delete;

private:
    xmlStructuredErrorFunc handler_;
    void *context_;
};

} // namespace

std::string Utf16Prefix(std::string_view utf8, std::size_t maxUnits)
{
    std::string out;
    std::size_t units = 0;
    while (!utf8.empty()) {
        const std::size_t length = SequenceLength(utf8);
        const std::size_t charUnits = length == 4 ? 2 : 1;
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
    const QuietErrors quiet;
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
