// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileState.h"

namespace carteva {

namespace {

// File systems keep modification times as coarse as two seconds (FAT) or one (many network
// shares): a write within that time of the state may leave the time as it was.
constexpr time_t CoarsestClock = 2;

timespec Now()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

} // namespace

FileState FileState::Missing()
{
    FileState state;
    state.taken = Now();
    return state;
}

FileState FileState::Of(const struct stat &info)
{
    FileState state;
    state.exists = true;
    state.device = info.st_dev;
    state.inode = info.st_ino;
    state.size = info.st_size;
    state.modified = info.st_mtim;
    state.taken = Now();
    return state;
}

bool FileState::SurelyUnchanged(const struct stat &info) const
{
    return exists && info.st_dev == device && info.st_ino == inode && info.st_size == size
        && info.st_mtim.tv_sec == modified.tv_sec && info.st_mtim.tv_nsec == modified.tv_nsec
        && taken.tv_sec - modified.tv_sec > CoarsestClock;
}

void ByteHash::Add(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes) {
        value_ ^= byte;
        value_ *= 1099511628211ull;
    }
}

} // namespace carteva
