// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"

#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t HeaderSize = 8;
constexpr std::size_t RecordSize = TCalibPoint::RecordSize;
// 640 KiB per read: a million records take some sixty reads.
constexpr std::size_t RecordsPerBlock = 16384;
// Reserving for what the file's size promises, but not without limit: a sparse file can claim
// terabytes that reading would never deliver.
constexpr std::size_t MaxReservedRecords = std::size_t(1) << 24;
constexpr mode_t ModeBits = 07777;

void AppendInt32(std::vector<std::uint8_t> &bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

} // namespace

std::u16string CalibrationFileName(std::u16string_view bitmapFileName)
{
    std::size_t keep = bitmapFileName.size() - std::min<std::size_t>(3, bitmapFileName.size());
    // Counting code units can split a surrogate pair; its lone first half cannot name a file.
    if (keep > 0 && bitmapFileName[keep - 1] >= 0xD800 && bitmapFileName[keep - 1] <= 0xDBFF)
        --keep;
    std::u16string name(bitmapFileName.substr(0, keep));
    name += u"cali";
    return name;
}

CalibrationReadResult ReadCalibrationFile(const fs::path &path, std::vector<TCalibPoint> &points,
                                          FileOps &ops, std::string *failure)
{
    const auto fail = [&](CalibrationReadResult result, std::string reason) {
        if (failure)
            *failure = std::move(reason);
        return result;
    };
    const RegularFile opened = OpenRegularFile(ops, path.c_str());
    if (opened.refusal != RegularFile::Refusal::None) {
        const bool missing
            = opened.refusal == RegularFile::Refusal::Open && opened.error == ENOENT;
        return fail(missing ? CalibrationReadResult::NoSuchFile : CalibrationReadResult::Failed,
                    RefusalReason(path, opened));
    }
    const int fd = opened.fd;
    Descriptor file(ops, fd);
    const struct stat &info = opened.info;

    // Width and height are not needed to read the points.
    std::uint8_t header[HeaderSize];
    const ReadOutcome head = ReadFully(ops, fd, header, HeaderSize);
    if (head.failed)
        return fail(CalibrationReadResult::Failed, FailureReason(path, "read", head.error));
    if (head.count != HeaderSize)
        return fail(CalibrationReadResult::Failed, path.string() + ": shorter than its header");

    if (static_cast<std::size_t>(info.st_size) > HeaderSize) {
        const std::size_t expected
            = (static_cast<std::size_t>(info.st_size) - HeaderSize) / RecordSize;
        points.reserve(points.size() + std::min(expected, MaxReservedRecords));
    }

    std::vector<std::uint8_t> block(RecordsPerBlock * RecordSize);
    for (;;) {
        const ReadOutcome outcome = ReadFully(ops, fd, block.data(), block.size());
        TCalibPoint::Record record;
        const std::size_t whole = outcome.count / RecordSize;
        for (std::size_t i = 0; i < whole; ++i) {
            std::memcpy(record.data(), block.data() + i * RecordSize, RecordSize);
            points.push_back(TCalibPoint::FromRecord(record));
        }
        if (outcome.failed)
            return fail(CalibrationReadResult::Failed, FailureReason(path, "read", outcome.error));
        if (outcome.count % RecordSize != 0)
            return fail(CalibrationReadResult::Failed,
                        path.string() + ": " + std::to_string(outcome.count % RecordSize)
                            + " bytes after the last whole record");
        if (outcome.count < block.size())
            return CalibrationReadResult::Complete;
    }
}

CalibrationReadResult ReadCalibrationFile(const fs::path &path, std::vector<TCalibPoint> &points,
                                          std::string *failure)
{
    FileOps posix;
    return ReadCalibrationFile(path, points, posix, failure);
}

std::string WriteCalibrationFile(const fs::path &path, std::int32_t width, std::int32_t height,
                                 std::span<const TCalibPoint> points, FileOps &ops)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(HeaderSize + RecordSize * points.size());
    AppendInt32(bytes, width);
    AppendInt32(bytes, height);
    for (const TCalibPoint &point : points) {
        const TCalibPoint::Record record = point.ToRecord();
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return ReplaceFile(ops, path, bytes, std::nullopt);
}

std::string WriteCalibrationFile(const fs::path &path, std::int32_t width, std::int32_t height,
                                 std::span<const TCalibPoint> points)
{
    FileOps posix;
    return WriteCalibrationFile(path, width, height, points, posix);
}

std::string BackupCalibrationFile(const fs::path &path, FileOps &ops)
{
    const RegularFile opened = OpenRegularFile(ops, path.c_str());
    if (opened.refusal != RegularFile::Refusal::None)
        throw Error(RefusalReason(path, opened));
    const int fd = opened.fd;
    Descriptor file(ops, fd);
    const struct stat &info = opened.info;
    std::vector<std::uint8_t> bytes;
    if (const int error = ReadToEnd(ops, fd, bytes))
        throw Error(FailureReason(path, "read", error));

    fs::path backup = path;
    backup += ".bak";
    // A new backup is no more readable than the file it copies, and stays writable for its owner so
    // that the next backup can replace it.
    return ReplaceFile(ops, backup, bytes, (info.st_mode & ModeBits) | S_IWUSR);
}

std::string BackupCalibrationFile(const fs::path &path)
{
    FileOps posix;
    return BackupCalibrationFile(path, posix);
}

} // namespace carteva
