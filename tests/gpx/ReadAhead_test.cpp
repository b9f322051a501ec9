// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ReadAhead.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace carteva {
namespace {

namespace fs = std::filesystem;

// Everything the file holds, asked for `request` bytes at a time.
std::string ReadAll(ReadAhead &reader, std::size_t request)
{
    std::string all, buffer(request, '\0');
    while (const std::size_t got = reader.Read(buffer.data(), request))
        all.append(buffer, 0, got);
    return all;
}

TEST(ReadAhead, HandsOverEveryByteInOrderAndTellsReadErrors)
{
    const fs::path path
        = fs::temp_directory_path() / ("carteva-readahead-" + std::to_string(getpid()));
    constexpr std::size_t MiB = 1 << 20;
    const struct
    {
        std::size_t size;
        std::size_t request;
    } rows[] = {
        {0, 4000},
        {1, 4000},
        {MiB, 4000},
        {4 * MiB, 4000},
        {4 * MiB + 1, 1},
        {9 * MiB + 5, 4000},
        {9 * MiB + 5, 3 * MiB},
    };
    FileOps ops;
    ThreadStarter threads;
    for (const auto &row : rows) {
        std::string bytes(row.size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 + i / 4093);
        std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        {
            ReadAhead reader(ops, fd, threads);
            EXPECT_TRUE(ReadAll(reader, row.request) == bytes) << row.size << " " << row.request;
            EXPECT_EQ(reader.Read(bytes.data(), 1), 0u);
            EXPECT_EQ(reader.Error(), 0);
        }
        ::close(fd);
    }
    fs::remove(path);

    const int folder = ::open(fs::temp_directory_path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    {
        ReadAhead reader(ops, folder, threads);
        EXPECT_EQ(ReadAll(reader, 4000), "");
        EXPECT_EQ(reader.Error(), EISDIR);
    }
    ::close(folder);
}

} // namespace
} // namespace carteva
