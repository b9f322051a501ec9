// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileNames.h"

#include "calibration/FileState.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char TemporaryMark[] = ".tmp-";
constexpr std::size_t RandomLetters = 6;
// A temporary file this old is no save under way: a save takes well under a second.
constexpr time_t StaleTemporaryAge = 60;

// ".<name>.tmp-": what all temporary names of `target` start with.
std::string TemporaryPrefix(const fs::path &folder, const fs::path &target)
{
    const std::string mark = TemporaryMark;
    return "." + FittingName(folder, target.filename().string(), 1 + mark.size() + RandomLetters)
        + mark;
}

} // namespace

std::string FittingName(const fs::path &folder, const std::string &name, std::size_t extra)
{
    const std::size_t folderBytes = folder.native().size() + 1;
    const std::size_t pathRoom = PATH_MAX - 1 > folderBytes ? PATH_MAX - 1 - folderBytes : 0;
    const std::size_t limit = std::min<std::size_t>(NAME_MAX, pathRoom);
    if (name.size() + extra <= limit)
        return name;
    ByteHash hash;
    hash.Add({reinterpret_cast<const std::uint8_t *>(name.data()), name.size()});
    char hex[18];
    std::snprintf(hex, sizeof hex, "-%016llx", static_cast<unsigned long long>(hash.Value()));
    const std::size_t tail = sizeof hex - 1;
    std::size_t keep = limit > extra + tail ? limit - extra - tail : 0;
    // Whole characters only: a cut through a UTF-8 sequence would leave a name no dialog shows.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return name.substr(0, keep) + hex;
}

std::string TemporaryName(const fs::path &folder, const fs::path &target)
{
    static constexpr char Letters[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string suffix(RandomLetters, ' ');
    for (char &c : suffix)
        c = Letters[random() % (sizeof Letters - 1)];
    return (folder / (TemporaryPrefix(folder, target) + suffix)).string();
}

void RemoveStaleTemporaries(const fs::path &folder, const fs::path &target)
{
    const std::string prefix = TemporaryPrefix(folder, target);
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error)
        return;
    const time_t now = std::time(nullptr);
    for (const fs::directory_entry &entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + RandomLetters
            || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)
            && now - info.st_mtim.tv_sec > StaleTemporaryAge && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(entry.path().c_str());
        ::close(fd);
    }
}

} // namespace carteva
