// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <sys/stat.h>
#include <sys/types.h>

namespace carteva {

// What a file was when this program last read or wrote it: which file (device and inode), its size
// and modification time, and a hash of its bytes. Comparing it with the file now tells whether
// someone else has written it since.
struct FileState
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    std::uint64_t hash = 0;
    // When the state was taken: a file modified within the same moment may change again without
    // its modification time showing it, so then only its bytes can tell.
    timespec taken {};

    static FileState Missing();
    // From the file's status; the hash is the caller's to fill in.
    static FileState Of(const struct stat &info);

    // Same file, size and modification time as `info`, with that time old enough to trust.
    bool SurelyUnchanged(const struct stat &info) const;
};

// FNV-1a, 64 bits: enough to tell a changed calibration file from an unchanged one.
class ByteHash
{
public:
    void Add(std::span<const std::uint8_t> bytes);
    std::uint64_t Value() const { return value_; }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

} // namespace carteva
