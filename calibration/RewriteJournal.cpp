// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/RewriteJournal.h"

#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"
#include "calibration/FileState.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace carteva {

namespace fs = std::filesystem;

namespace {

// The mark of side files that hold only the new bytes, as earlier versions wrote them: they are
// still recognised, and trusted only as far as the file already holds their bytes.
constexpr char OldMark[8] = {'C', 'A', 'R', 'T', 'E', 'V', 'A', 'J'};
constexpr std::size_t OldTrailerSize = 8 + 8 + sizeof OldMark;
constexpr char Mark[8] = {'C', 'A', 'R', 'T', 'E', 'V', 'A', 'K'};
// Device, inode, old size and hash, new size and hash, mark.
constexpr std::size_t TrailerSize = 6 * 8 + sizeof Mark;
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

fs::path Resolved(const fs::path &target)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(target, error);
    return error ? target : resolved;
}

fs::path Beside(const fs::path &target)
{
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    return folder
        / ("." + FittingName(folder, target.filename().string(), 1 + sizeof Suffix - 1) + Suffix);
}

fs::path ByIdentity(const fs::path &journalFolder, RewriteJournal::Identity identity)
{
    return journalFolder
        / (std::to_string(identity.Device) + "-" + std::to_string(identity.Inode) + Suffix);
}

// Where earlier versions put a side file in the journal folder: named after the file's path.
fs::path ByPath(const fs::path &file, const fs::path &journalFolder)
{
    const std::string &name = file.native();
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
    int fd = ops.CreateExclusive(side.c_str(), 0600);
    if (fd < 0 && errno == EEXIST) {
        // A folder that keeps its files: the emptied side file of an earlier rewrite is used.
        const RegularFile kept = OpenRegularFile(ops, side.c_str(), FileAccess::ReadWrite);
        if (kept.refusal == RegularFile::Refusal::None && ops.Truncate(kept.fd, 0) == 0)
            fd = kept.fd;
        else if (kept.fd >= 0)
            ops.Close(kept.fd);
        if (fd < 0)
            errno = EEXIST;
    }
    if (fd < 0)
        return Begun::NoPlace;
    Descriptor file(ops, fd);
    if (!WriteAll(ops, fd, content)) {
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

// A complete side file.
struct Claim
{
    bool Checked = false; // false: an earlier version's, with the new bytes alone
    RewriteJournal::Identity Identity;
    std::vector<std::uint8_t> Old, After;
};

// The claim of a complete side file; nothing for one cut short or unreadable.
std::optional<Claim> ReadSideFile(FileOps &ops, const fs::path &side)
{
    const RegularFile opened = OpenRegularFile(ops, side.c_str());
    if (opened.refusal != RegularFile::Refusal::None)
        return std::nullopt;
    Descriptor file(ops, opened.fd);
    std::vector<std::uint8_t> bytes;
    if (ReadToEnd(ops, opened.fd, bytes) != 0)
        return std::nullopt;
    Claim claim;
    if (bytes.size() >= TrailerSize
        && std::memcmp(bytes.data() + bytes.size() - sizeof Mark, Mark, sizeof Mark) == 0) {
        const std::uint8_t *trailer = bytes.data() + bytes.size() - TrailerSize;
        const std::uint64_t oldSize = GetUint64(trailer + 16), newSize = GetUint64(trailer + 32);
        if (oldSize > bytes.size() || newSize > bytes.size()
            || oldSize + newSize + TrailerSize != bytes.size())
            return std::nullopt;
        claim.Checked = true;
        claim.Identity = {static_cast<dev_t>(GetUint64(trailer)),
                          static_cast<ino_t>(GetUint64(trailer + 8))};
        claim.Old.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(oldSize));
        claim.After.assign(bytes.begin() + std::ptrdiff_t(oldSize),
                           bytes.begin() + std::ptrdiff_t(oldSize + newSize));
        if (HashOf(claim.Old) != GetUint64(trailer + 24)
            || HashOf(claim.After) != GetUint64(trailer + 40))
            return std::nullopt;
        return claim;
    }
    if (bytes.size() < OldTrailerSize)
        return std::nullopt;
    const std::uint8_t *trailer = bytes.data() + bytes.size() - OldTrailerSize;
    const std::uint64_t size = GetUint64(trailer);
    if (std::memcmp(trailer + 16, OldMark, sizeof OldMark) != 0
        || size != bytes.size() - OldTrailerSize)
        return std::nullopt;
    bytes.resize(size);
    if (HashOf(bytes) != GetUint64(trailer + 8))
        return std::nullopt;
    claim.After = std::move(bytes);
    return claim;
}

// Whether the rewrite of `old` into `after` (or the putting back of `old` over it) could have left
// `now`: its length lies between theirs, and each byte is the old or the new one at its place.
bool MixOf(std::span<const std::uint8_t> now, std::span<const std::uint8_t> old,
           std::span<const std::uint8_t> after)
{
    if (now.size() < std::min(old.size(), after.size())
        || now.size() > std::max(old.size(), after.size()))
        return false;
    for (std::size_t i = 0; i < now.size(); ++i) {
        const bool asOld = i < old.size() && now[i] == old[i];
        const bool asNew = i < after.size() && now[i] == after[i];
        if (!asOld && !asNew)
            return false;
    }
    return true;
}

// Every side file that may belong to `file`, however it was named.
std::vector<fs::path> Candidates(FileOps &ops, const fs::path &file, const fs::path &journalFolder)
{
    std::vector<fs::path> sides {Beside(file)};
    if (!journalFolder.empty()) {
        struct stat info;
        if (ops.Stat(file.c_str(), &info) == 0)
            sides.push_back(ByIdentity(journalFolder, {info.st_dev, info.st_ino}));
        sides.push_back(ByPath(file, journalFolder));
    }
    return sides;
}

} // namespace

Begun RewriteJournal::Begin(FileOps &ops, const fs::path &target, const fs::path &journalFolder,
                            Identity identity, std::span<const std::uint8_t> old,
                            std::span<const std::uint8_t> bytes, fs::path &written)
{
    std::vector<std::uint8_t> content;
    content.reserve(old.size() + bytes.size() + TrailerSize);
    content.insert(content.end(), old.begin(), old.end());
    content.insert(content.end(), bytes.begin(), bytes.end());
    PutUint64(content, static_cast<std::uint64_t>(identity.Device));
    PutUint64(content, static_cast<std::uint64_t>(identity.Inode));
    PutUint64(content, old.size());
    PutUint64(content, HashOf(old));
    PutUint64(content, bytes.size());
    PutUint64(content, HashOf(bytes));
    content.insert(content.end(), std::begin(Mark), std::end(Mark));
    // The journal folder first: every name of the file finds it there.
    if (!journalFolder.empty()) {
        std::error_code ignored;
        fs::create_directories(journalFolder, ignored);
        written = ByIdentity(journalFolder, identity);
        const Begun there = WriteSideFile(ops, written, content);
        if (there != Begun::NoPlace)
            return there;
    }
    written = Beside(Resolved(target));
    return WriteSideFile(ops, written, content);
}

bool RewriteJournal::Drop(FileOps &ops, const fs::path &side)
{
    if (ops.Unlink(side.c_str()) == 0 || errno == ENOENT)
        return true;
    const RegularFile opened = OpenRegularFile(ops, side.c_str(), FileAccess::ReadWrite);
    if (opened.refusal != RegularFile::Refusal::None)
        return false;
    Descriptor file(ops, opened.fd);
    return ops.Truncate(opened.fd, 0) == 0 && ops.Fsync(opened.fd) == 0;
}

RewriteJournal::Finished RewriteJournal::Finish(FileOps &ops, const fs::path &target,
                                                const fs::path &journalFolder,
                                                const SetAside &setAside)
{
    const fs::path file = Resolved(target);
    Finished finished;
    const auto tell
        = [&](const std::string &text) { finished.note += target.string() + ": " + text + " "; };
    for (const fs::path &side : Candidates(ops, file, journalFolder)) {
        struct stat info;
        if (ops.Stat(side.c_str(), &info) != 0)
            continue;
        const std::optional<Claim> claim = ReadSideFile(ops, side);
        if (!claim) {
            // Cut short: the rewrite had not begun. One the folder keeps is harmless.
            if (ops.Unlink(side.c_str()) == 0 && info.st_size > 0)
                tell("a rewrite was cut off before it began; the file is as it was ("
                     + side.string() + " removed).");
            continue;
        }
        const auto drop = [&](const std::string &done) {
            if (Drop(ops, side)) {
                tell(done + " (" + side.string() + " removed).");
                return;
            }
            finished.blocked = true;
            tell(done + ", but " + side.string() + " cannot be removed: "
                 + FailureReason(side, "unlink", errno) + ".");
        };

        // The file as it is now, and whether it is still the one the claim was made for.
        const RegularFile opened = OpenRegularFile(ops, file.c_str());
        std::vector<std::uint8_t> now;
        bool same = false;
        if (opened.refusal == RegularFile::Refusal::None) {
            Descriptor descriptor(ops, opened.fd);
            if (const int error = ReadToEnd(ops, opened.fd, now)) {
                finished.blocked = true;
                tell("a rewrite was cut off and cannot be checked: "
                     + FailureReason(file, "read", error) + " (" + side.string() + " kept).");
                continue;
            }
            same = !claim->Checked
                || (opened.info.st_dev == claim->Identity.Device
                    && opened.info.st_ino == claim->Identity.Inode);
        } else if (!(opened.refusal == RegularFile::Refusal::Open && opened.error == ENOENT)) {
            finished.blocked = true;
            tell("a rewrite was cut off and cannot be checked: " + RefusalReason(file, opened)
                 + " (" + side.string() + " kept).");
            continue;
        }
        if (same && now == claim->After) {
            drop("a rewrite that was cut off had already reached the file");
            continue;
        }
        if (same && claim->Checked && MixOf(now, claim->Old, claim->After)) {
            const std::string failure = OverwriteFile(ops, file, claim->After);
            if (!failure.empty()) {
                finished.blocked = true;
                tell("a rewrite was cut off and cannot be finished yet: " + failure + " ("
                     + side.string() + " kept).");
                continue;
            }
            drop("a rewrite that was cut off is finished from " + side.string());
            continue;
        }
        // The file has moved on since (another writer, or another file under the name): it stays
        // as it is, and what the rewrite meant to write is kept elsewhere.
        try {
            finished.copy = setAside(claim->After);
        } catch (const Error &error) {
            finished.blocked = true;
            tell(std::string("a rewrite was cut off, the file has changed since, and what the "
                             "rewrite meant to write cannot be kept: ")
                 + error.what() + " (" + side.string() + " kept).");
            continue;
        }
        drop("a rewrite was cut off, but the file has changed since; it is left as it is, and what "
             "the rewrite meant to write is kept in " + finished.copy);
    }
    if (!finished.note.empty())
        finished.note.pop_back();
    return finished;
}

bool RewriteJournal::Pending(FileOps &ops, const fs::path &target, const fs::path &journalFolder)
{
    for (const fs::path &side : Candidates(ops, Resolved(target), journalFolder)) {
        struct stat info;
        if (ops.Stat(side.c_str(), &info) == 0 && ReadSideFile(ops, side))
            return true;
    }
    return false;
}

} // namespace carteva
