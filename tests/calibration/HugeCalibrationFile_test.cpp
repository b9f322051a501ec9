// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"

#include "calibration/FileOps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace carteva {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class ScratchFile
{
public:
    explicit ScratchFile(const std::string &name)
        : folder(fs::temp_directory_path() / ("carteva-huge-" + std::to_string(getpid())))
        , path(folder / name)
    {
        fs::create_directories(folder);
    }
    ~ScratchFile()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
    fs::path path;
};

Bytes ReadBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// AddressSanitizer keeps freed blocks in quarantine and marks every block it hands out, reserved
// or not: memory bounds only hold without it.
#ifdef __SANITIZE_ADDRESS__
constexpr bool MemoryIsMeasurable = false;
#else
constexpr bool MemoryIsMeasurable = true;
#endif

long PeakResidentMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST(HugeCalibrationFile, MillionRecordsLoadAndSaveByteForByte)
{
    constexpr std::size_t Records = 1'000'000;
    ScratchFile file("huge.cali");
    Bytes bytes(8 + Records * TCalibPoint::RecordSize);
    std::mt19937_64 random(11);
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        const std::uint64_t word = random();
        std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, bytes.size() - i));
    }
    {
        std::ofstream out(file.path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }

    const long memoryBefore = PeakResidentMegabytes();
    auto start = std::chrono::steady_clock::now();
    std::vector<TCalibPoint> points;
    ASSERT_EQ(ReadCalibrationFile(file.path, points), CalibrationReadResult::Complete);
    const double loadSeconds = SecondsSince(start);
    ASSERT_EQ(points.size(), Records);

    std::int32_t header[2];
    std::memcpy(header, bytes.data(), sizeof header);
    start = std::chrono::steady_clock::now();
    WriteCalibrationFile(file.path, header[0], header[1], points);
    const double saveSeconds = SecondsSince(start);
    EXPECT_TRUE(ReadBytes(file.path) == bytes);

    std::printf("1,000,000 records: load %.3f s, save %.3f s, peak memory +%ld MB\n", loadSeconds,
                saveSeconds, PeakResidentMegabytes() - memoryBefore);
    // Generous bounds that only a fault breaks (a copy per record, quadratic growth), also under
    // the sanitizers.
    EXPECT_LT(loadSeconds + saveSeconds, 30.0);
    if (MemoryIsMeasurable) {
        EXPECT_LT(PeakResidentMegabytes() - memoryBefore, 400);
    }
}

// The file system says the file holds an exabyte; reading finds three records. Room is not
// reserved for everything that was promised.
class ExaggeratingFileOps : public FileOps
{
public:
    int Fstat(int fd, struct stat *info) override
    {
        const int result = FileOps::Fstat(fd, info);
        info->st_size = off_t(1) << 60;
        return result;
    }
};

TEST(HugeCalibrationFile, SizeThatPromisesMoreThanTheFileHoldsDoesNotExhaustMemory)
{
    ScratchFile file("lying.cali");
    const std::vector<TCalibPoint> written(3);
    WriteCalibrationFile(file.path, 16, 16, written);
    const long memoryBefore = PeakResidentMegabytes();
    ExaggeratingFileOps ops;
    std::vector<TCalibPoint> points;
    EXPECT_EQ(ReadCalibrationFile(file.path, points, ops), CalibrationReadResult::Complete);
    EXPECT_EQ(points.size(), 3u);
    if (MemoryIsMeasurable) {
        EXPECT_LT(PeakResidentMegabytes() - memoryBefore, 100);
    }
}

} // namespace
} // namespace carteva
