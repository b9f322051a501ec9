// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace carteva {

class FileOps;

// Why a call failed, for the log: "<file>: <call>: <system message>".
std::string FailureReason(const std::filesystem::path &file, const char *call, int error);

// What OpenRegularFile found. On success `fd` is open and belongs to the caller; otherwise it is
// -1 and nothing is left open.
struct RegularFile
{
    enum class Refusal {
        None,
        Open, // the open failed: `error` says why
        Fstat, // fstat failed: `error` says why
        NotRegular, // a folder, FIFO, device or socket; `info` says which
    };
    int fd = -1;
    struct stat info
    {
    };
    Refusal refusal = Refusal::None;
    int error = 0;

    bool IsFolder() const { return refusal == Refusal::NotRegular && S_ISDIR(info.st_mode); }
};

enum class FileAccess { Read, ReadWrite };

// The one way files are opened for reading (and for rewriting in place): without blocking, so that
// a FIFO without a writer or a device cannot hold the caller up, and only when fstat shows a
// regular file. With `blocking` the descriptor is put back into blocking mode once it is known to
// be a regular file, for readers that rely on it (worker threads); reading a regular file never
// waits for long either way.
RegularFile OpenRegularFile(FileOps &ops, const char *path, FileAccess access = FileAccess::Read,
                            bool blocking = false);

// Why OpenRegularFile refused, for the log: "<file>: open: <system message>",
// "<file>: fstat: <system message>" or "<file>: not a regular file".
std::string RefusalReason(const std::filesystem::path &file, const RegularFile &opened);

struct ReadOutcome
{
    std::size_t count = 0;
    bool failed = false;
    int error = 0; // errno of the failed read
};

// Writes all of `bytes`, going on after interrupted and short writes; false (errno set) when a
// write fails.
bool WriteAll(FileOps &ops, int fd, std::span<const std::uint8_t> bytes);

// Reads until `size` bytes or the end of the file; a short count without failure means the end.
ReadOutcome ReadFully(FileOps &ops, int fd, std::uint8_t *buffer, std::size_t size);

// Appends the rest of the file from the current position to `bytes`: 0, or the errno of a failed
// read.
int ReadToEnd(FileOps &ops, int fd, std::vector<std::uint8_t> &bytes);

// Puts `bytes` in the file at `path` (symbolic links followed) so that a failure leaves the old
// file as it was: see WriteCalibrationFile. `modeOfNewFile` applies when there is no file yet; an
// existing file keeps its own mode. Throws Error; returns a warning when the new file is in place
// but its folder could not be flushed, else an empty string. A file with more than one hard link
// is rewritten in place, so that its links stay one file; such a rewrite goes through a side file
// (see RewriteJournal), in `journalFolder` or beside the file, so that a kill midway leaves the old
// or the new bytes. After a save, temporary files that a killed save of the same file left behind
// are removed once they are a minute old. Without a place for the side file, or with
// `inPlaceAllowed` false, a rewrite in place fails instead.
std::string ReplaceFile(FileOps &ops, const std::filesystem::path &path,
                        std::span<const std::uint8_t> bytes, std::optional<mode_t> modeOfNewFile,
                        const std::filesystem::path &journalFolder = {},
                        bool inPlaceAllowed = true);

// Writes `bytes` over the existing file at `path` in place, cuts it to their length and flushes
// it; returns why that failed, or an empty string.
std::string OverwriteFile(FileOps &ops, const std::filesystem::path &path,
                          std::span<const std::uint8_t> bytes);

// Makes a new file in `folder` holding `bytes`, named after `original` with the local time and,
// when that name is taken, a counter: valley.cali -> valley-20261207-142501.cali,
// valley-20261207-142501-2.cali. Never replaces a file. Returns its path; throws Error.
std::filesystem::path CreateDatedCopy(FileOps &ops, const std::filesystem::path &folder,
                                      const std::filesystem::path &original,
                                      std::span<const std::uint8_t> bytes);

} // namespace carteva
