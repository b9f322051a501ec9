// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace carteva {

class FileOps;

// The side file of a rewrite in place, which a kill midway would otherwise leave half old, half
// new: the new bytes are written and flushed to it first, so that whoever finds it can finish the
// rewrite. It lies beside the file (".<name>.rewrite"), or, where that folder takes no new file,
// in `journalFolder` under a name taken from the file's path. Its bytes are the new content, its
// length, a hash of it and a mark, so that a side file cut short is told from a complete one.
class RewriteJournal
{
public:
    enum class Begun {
        Written, // the side file is complete and flushed: the rewrite may begin
        NoPlace, // neither place takes a new file
        Failed, // one was made, but writing or flushing it failed (errno set); it is removed
    };
    // Writes and flushes the side file, its path in `written`.
    static Begun Begin(FileOps &ops, const std::filesystem::path &target,
                       const std::filesystem::path &journalFolder,
                       std::span<const std::uint8_t> bytes, std::filesystem::path &written);

    // Finishes a rewrite of `target` that a side file shows was cut off, or removes a side file that
    // was never complete (the rewrite had not begun). Returns what it did, for the log; empty when
    // there was nothing to do.
    static std::string Finish(FileOps &ops, const std::filesystem::path &target,
                              const std::filesystem::path &journalFolder);
};

} // namespace carteva
