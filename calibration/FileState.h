// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <sys/stat.h>
#include <sys/types.h>

namespace carteva {

// What a file was when this program last read or wrote it: whether it existed, its size and a hash
// of all its bytes. Comparing it with the file's bytes now tells whether someone else has written
// it since; its modification time cannot (a writer may put it back, a coarse clock may not move).
struct FileState
{
    bool exists = false;
    off_t size = 0;
    std::uint64_t hash = 0;

    static FileState Missing() { return {}; }
    // From the file's status; the hash is the caller's to fill in.
    static FileState Of(const struct stat &info) { return {true, info.st_size, 0}; }
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
