// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <sys/types.h>

namespace carteva {

class FileOps;

// The side file of a rewrite in place, which a kill midway would otherwise leave half old, half
// new. It is a claim, not an order: it holds the file's identity (device and inode), its bytes
// before and the bytes it must hold after, each with its length and hash, and a mark, so that a
// side file cut short is told from a complete one. Whoever finds it finishes the rewrite only
// while the file still holds the old bytes, the new ones, or a mix the rewrite could have left.
// It lies in `journalFolder` under the file's identity, so that every name of the file finds it,
// or, without such a folder, beside the file (".<name>.rewrite").
class RewriteJournal
{
public:
    enum class Begun {
        Written, // the side file is complete and flushed: the rewrite may begin
        NoPlace, // neither place takes a new file
        Failed, // one was made, but writing or flushing it failed (errno set); it is removed
    };
    struct Identity
    {
        dev_t Device = 0;
        ino_t Inode = 0;
    };
    // Writes and flushes the side file, its path in `written`.
    static Begun Begin(FileOps &ops, const std::filesystem::path &target,
                       const std::filesystem::path &journalFolder, Identity identity,
                       std::span<const std::uint8_t> old, std::span<const std::uint8_t> bytes,
                       std::filesystem::path &written);
    // Removes a side file whose rewrite is over; where the folder keeps it, empties it instead,
    // which makes it a side file cut short (harmless). False when neither works.
    static bool Drop(FileOps &ops, const std::filesystem::path &side);

    // Keeps bytes that must not be lost somewhere new; returns where. Throws Error.
    using SetAside = std::function<std::string(std::span<const std::uint8_t> bytes)>;
    struct Finished
    {
        std::string note; // what was done, for the log; empty when nothing was found
        std::string copy; // where the content of a side file the file outgrew went
        // A side file is left that could not be finished, removed or kept elsewhere: nothing may
        // be written to the file until it is dealt with.
        bool blocked = false;
    };
    // Deals with every side file of `target` (found from any of its names).
    static Finished Finish(FileOps &ops, const std::filesystem::path &target,
                           const std::filesystem::path &journalFolder, const SetAside &setAside);
    // Whether a complete side file of `target` is waiting: a rewrite was cut off.
    static bool Pending(FileOps &ops, const std::filesystem::path &target,
                        const std::filesystem::path &journalFolder);
};

} // namespace carteva
