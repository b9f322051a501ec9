// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/RewriteJournal.h"

#include "calibration/Descriptor.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"
#include "calibration/FileState.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char Mark[8] = {'C', 'A', 'R', 'T', 'E', 'V', 'A', 'J'};
constexpr std::size_t TrailerSize = 8 + 8 + sizeof Mark;
constexpr char Suffix[] = ".rewrite";

std::uint64_t HashOf(std::span<const std::uint8_t> bytes)
{
    ByteHash hash;
    hash.Add(bytes);
    return hash.Value();
}

void PutUint64(std::vector<std::uint8_t> &bytes, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t GetUint64(const std::uint8_t *bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

fs::path Beside(const fs::path &target)
{
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    return folder
        / ("." + FittingName(folder, target.filename().string(), 1 + sizeof Suffix - 1) + Suffix);
}

fs::path InJournalFolder(const fs::path &target, const fs::path &journalFolder)
{
    // One name however the path was spelt: through links, relative or absolute.
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(target, error);
    const std::string &name = (error ? target : resolved).native();
    ByteHash hash;
    hash.Add({reinterpret_cast<const std::uint8_t *>(name.data()), name.size()});
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.Value()));
    return journalFolder / (std::string(hex) + Suffix);
}

using Begun = RewriteJournal::Begun;

Begun WriteSideFile(FileOps &ops, const fs::path &side, std::span<const std::uint8_t> content)
{
    // A side file found here was dealt with before the caller began: what is left is litter.
    ops.Unlink(side.c_str());
    const int fd = ops.CreateExclusive(side.c_str(), 0600);
    if (fd < 0)
        return Begun::NoPlace;
    Descriptor file(ops, fd);
    std::vector<std::uint8_t> trailer;
    PutUint64(trailer, content.size());
    PutUint64(trailer, HashOf(content));
    trailer.insert(trailer.end(), std::begin(Mark), std::end(Mark));
    if (!WriteAll(ops, fd, content) || !WriteAll(ops, fd, trailer)) {
        const int error = errno;
        file.Close();
        ops.Unlink(side.c_str());
        errno = error;
        return Begun::Failed;
    }
    if (ops.Fsync(fd) != 0 || file.Close() != 0) {
        const int error = errno;
        ops.Unlink(side.c_str());
        errno = error;
        return Begun::Failed;
    }
    return Begun::Written;
}

// The content of a complete side file; nothing for one cut short or unreadable.
std::optional<std::vector<std::uint8_t>> ReadSideFile(FileOps &ops, const fs::path &side)
{
    const RegularFile opened = OpenRegularFile(ops, side.c_str());
    if (opened.refusal != RegularFile::Refusal::None)
        return std::nullopt;
    Descriptor file(ops, opened.fd);
    std::vector<std::uint8_t> bytes;
    if (ReadToEnd(ops, opened.fd, bytes) != 0 || bytes.size() < TrailerSize)
        return std::nullopt;
    const std::uint8_t *trailer = bytes.data() + bytes.size() - TrailerSize;
    const std::uint64_t size = GetUint64(trailer);
    if (std::memcmp(trailer + 16, Mark, sizeof Mark) != 0 || size != bytes.size() - TrailerSize)
        return std::nullopt;
    bytes.resize(size);
    if (HashOf(bytes) != GetUint64(trailer + 8))
        return std::nullopt;
    return bytes;
}

} // namespace

Begun RewriteJournal::Begin(FileOps &ops, const fs::path &target, const fs::path &journalFolder,
                            std::span<const std::uint8_t> bytes, fs::path &written)
{
    written = Beside(target);
    const Begun beside = WriteSideFile(ops, written, bytes);
    if (beside != Begun::NoPlace || journalFolder.empty())
        return beside;
    std::error_code ignored;
    fs::create_directories(journalFolder, ignored);
    written = InJournalFolder(target, journalFolder);
    return WriteSideFile(ops, written, bytes);
}

std::string RewriteJournal::Finish(FileOps &ops, const fs::path &target,
                                   const fs::path &journalFolder)
{
    // A rewrite goes to the file a symbolic link names, and its side file beside that.
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(target, error);
    const fs::path &file = error ? target : resolved;
    std::string note;
    for (const fs::path &side :
         {Beside(file), journalFolder.empty() ? fs::path() : InJournalFolder(file, journalFolder)}) {
        struct stat info;
        if (side.empty() || ops.Stat(side.c_str(), &info) != 0)
            continue;
        const std::optional<std::vector<std::uint8_t>> content = ReadSideFile(ops, side);
        if (!content) {
            ops.Unlink(side.c_str());
            note += target.string() + ": a rewrite was cut off before it began; the file is as it was ("
                + side.string() + " removed). ";
            continue;
        }
        const std::string failure = OverwriteFile(ops, file, *content);
        if (!failure.empty()) {
            note += target.string() + ": a rewrite was cut off and cannot be finished yet: " + failure
                + " (" + side.string() + " kept). ";
            continue;
        }
        ops.Unlink(side.c_str());
        note += target.string() + ": a rewrite that was cut off is finished from " + side.string()
            + ". ";
    }
    if (!note.empty())
        note.pop_back();
    return note;
}

} // namespace carteva
