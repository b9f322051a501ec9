// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/LineExcerpt.h"

#include "calibration/Utf.h"
#include "gpx/ParserContext.h"
#include "gpx/ParserEnvironment.h"

#include <libxml/encoding.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
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

void IgnoreError(void *, XmlErrorArgument) { }

// The encoding a file's first bytes name whatever it declares, spelled so that libxml2 finds a
// decoder of that byte order (its own name for both UTF-16 orders is "UTF-16"); null for the
// encodings a declaration decides.
const char *SignatureEncoding(xmlCharEncoding detected)
{
    switch (detected) {
    case XML_CHAR_ENCODING_UTF16LE:
        return "UTF-16LE";
    case XML_CHAR_ENCODING_UTF16BE:
        return "UTF-16BE";
    case XML_CHAR_ENCODING_UCS4LE:
        return "UCS-4LE";
    case XML_CHAR_ENCODING_UCS4BE:
        return "UCS-4BE";
    default:
        return nullptr;
    }
}

// iconv, which libxml2 2.9 decodes windows-1252 with, refuses the five bytes that encoding
// leaves undefined; the table later series carry maps them to control characters. Refused here
// whatever the series, so that a file fails alike with every one.
constexpr std::string_view UndefinedCp1252 = "\x81\x8D\x8F\x90\x9D";

bool RefusesUndefinedBytes(std::string_view name)
{
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "windows-1252" || lower == "cp1252" || lower == "x-cp1252";
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

// A file decoded to UTF-8 a chunk at a time, up to the first bytes its encoding cannot decode.
class DecodedFile
{
public:
    // False when the file cannot be read or libxml2 has no decoder for its encoding. With
    // `validate`, UTF-8 ends at the first sequence that is not UTF-8 too.
    bool Open(const std::filesystem::path &path, const std::string &encoding, bool validate)
    {
        validate_ = validate;
        file_.reset(std::fopen(path.c_str(), "rb"));
        if (!file_)
            return false;
        // A byte-order mark or the pattern of the first bytes names the encoding before any
        // declaration does; some libxml2 series tell only the declared one.
        unsigned char start[4] = {};
        const std::size_t startLength = std::fread(start, 1, sizeof start, file_.get());
        std::rewind(file_.get());
        const char *name
            = SignatureEncoding(xmlDetectCharEncoding(start, static_cast<int>(startLength)));
        if (name == nullptr && !encoding.empty())
            name = encoding.c_str();
        if (name == nullptr)
            return true;
        strictCp1252_ = RefusesUndefinedBytes(name);
        handler_.reset(xmlFindCharEncodingHandler(name));
        raw_.reset(xmlBufferCreate());
        decoded_.reset(xmlBufferCreate());
        return handler_ && raw_ && decoded_;
    }

    // The next piece of text; empty at the end of the file and after a fault.
    std::string_view Next()
    {
        if (!fault_.bytes.empty())
            return {};
        const std::size_t got = std::fread(chunk_, 1, sizeof chunk_, file_.get());
        std::string_view piece(chunk_, got);
        if (handler_)
            return Decode(piece);
        return validate_ ? Validate(piece, got == 0) : piece;
    }

    // The bytes that could not be decoded, once Next has met them.
    const Undecodable &Fault() const { return fault_; }

private:
    std::string_view Decode(std::string_view piece)
    {
        std::size_t undefined = std::string_view::npos;
        if (strictCp1252_)
            undefined = piece.find_first_of(UndefinedCp1252);
        xmlBufferAdd(raw_.get(), reinterpret_cast<const xmlChar *>(piece.data()),
                     static_cast<int>(std::min(piece.size(), undefined)));
        xmlBufferEmpty(decoded_.get());
        // Stops at the first byte that cannot be decoded; what came before it still counts.
        const bool failed = xmlCharEncInFunc(handler_.get(), decoded_.get(), raw_.get()) < 0;
        if (failed) {
            fault_ = {true,
                      Hex({reinterpret_cast<const char *>(xmlBufferContent(raw_.get())),
                           static_cast<std::size_t>(xmlBufferLength(raw_.get()))})};
        } else if (undefined != std::string_view::npos) {
            fault_ = {true, Hex(piece.substr(undefined))};
        }
        return {reinterpret_cast<const char *>(xmlBufferContent(decoded_.get())),
                static_cast<std::size_t>(xmlBufferLength(decoded_.get()))};
    }

    // UTF-8 passes as it is, up to the first sequence that is not UTF-8. With four bytes in
    // sight a sequence is either whole or not UTF-8; fewer may be a character the chunk cut.
    std::string_view Validate(std::string_view piece, bool end)
    {
        pending_.erase(0, passed_);
        pending_ += piece;
        std::string_view rest = pending_;
        while (!rest.empty() && (rest.size() >= 4 || end)) {
            const std::size_t length = DecodeUtf8(rest).Length;
            if (length == 0) {
                fault_ = {false, Hex(rest)};
                break;
            }
            rest.remove_prefix(length);
        }
        passed_ = pending_.size() - rest.size();
        return std::string_view(pending_).substr(0, passed_);
    }

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<xmlCharEncodingHandler, HandlerCloser> handler_;
    std::unique_ptr<xmlBuffer, BufferFreer> raw_, decoded_;
    bool validate_ = false;
    bool strictCp1252_ = false;
    std::string pending_; // UTF-8 read, from the first byte not yet passed on
    std::size_t passed_ = 0;
    Undecodable fault_;
    char chunk_[65536];
};

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

bool DecodesUndefinedBytes(const std::string &encoding)
{
    if (!RefusesUndefinedBytes(encoding))
        return false;
    const ParserEnvironment quiet(xmlGetExternalEntityLoader(), IgnoreError, nullptr);
    std::unique_ptr<xmlCharEncodingHandler, HandlerCloser> handler(
        xmlFindCharEncodingHandler(encoding.c_str()));
    std::unique_ptr<xmlBuffer, BufferFreer> raw(xmlBufferCreate()), decoded(xmlBufferCreate());
    if (!handler || !raw || !decoded)
        return false;
    xmlBufferAdd(raw.get(), reinterpret_cast<const xmlChar *>(UndefinedCp1252.data()),
                 static_cast<int>(UndefinedCp1252.size()));
    return xmlCharEncInFunc(handler.get(), decoded.get(), raw.get()) >= 0;
}

Undecodable FirstUndecodable(const std::filesystem::path &path, const std::string &encoding)
{
    const ParserEnvironment quiet(xmlGetExternalEntityLoader(), IgnoreError, nullptr);
    auto file = std::make_unique<DecodedFile>();
    if (!file->Open(path, encoding, true))
        return {};
    long line = 1;
    for (std::string_view piece = file->Next(); !piece.empty(); piece = file->Next())
        line += std::count(piece.begin(), piece.end(), '\n');
    Undecodable fault = file->Fault();
    fault.line = fault.bytes.empty() ? 0 : line;
    return fault;
}

std::string LineExcerpt(const std::filesystem::path &path, const std::string &encoding, long line,
                        std::size_t maxUnits)
{
    if (line < 1)
        return {};
    // The text may hold the very bytes that made the parser fail: keep libxml2 from reporting
    // them again on stderr.
    const ParserEnvironment quiet(xmlGetExternalEntityLoader(), IgnoreError, nullptr);
    auto file = std::make_unique<DecodedFile>();
    if (!file->Open(path, encoding, false))
        return {};

    // Enough bytes for maxUnits units however the text is spelled, plus a byte-order mark.
    const std::size_t enough = 4 * maxUnits + ByteOrderMark.size();
    std::string text;
    long current = 1;
    bool lineEnded = false;
    for (std::string_view piece = file->Next(); !lineEnded && !piece.empty();
         piece = file->Next()) {
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
