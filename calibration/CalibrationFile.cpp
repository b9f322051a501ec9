// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"

#include "calibration/CalibrationLayout.h"
#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileOps.h"
#include "calibration/FileState.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t HeaderSize = CalibrationLayout::HeaderSize;
constexpr std::size_t RecordSize = CalibrationLayout::RecordSize;
// 640 KiB per read: a million records take some sixty reads.
constexpr std::size_t RecordsPerBlock = 16384;
// Reserving for what the file's size promises, but not without limit: a sparse file can claim
// terabytes that reading would never deliver.
constexpr std::size_t MaxReservedRecords = std::size_t(1) << 24;
constexpr mode_t ModeBits = 07777;

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
                                          FileOps &ops, std::string *failure, FileState *state)
{
    const auto fail = [&](CalibrationReadResult result, std::string reason) {
        if (failure)
            *failure = std::move(reason);
        return result;
    };
    const RegularFile opened = OpenRegularFile(ops, path.c_str());
    if (opened.refusal != RegularFile::Refusal::None) {
        const bool missing = opened.refusal == RegularFile::Refusal::Open && opened.error == ENOENT;
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
    ByteHash hash;
    hash.Add({header, HeaderSize});

    if (static_cast<std::size_t>(info.st_size) > HeaderSize) {
        const std::size_t expected
            = (static_cast<std::size_t>(info.st_size) - HeaderSize) / RecordSize;
        points.reserve(points.size() + std::min(expected, MaxReservedRecords));
    }

    std::vector<std::uint8_t> block(RecordsPerBlock * RecordSize);
    for (;;) {
        const ReadOutcome outcome = ReadFully(ops, fd, block.data(), block.size());
        if (state)
            hash.Add({block.data(), outcome.count});
        CalibrationLayout::AppendRecords({block.data(), outcome.count}, points);
        if (outcome.failed)
            return fail(CalibrationReadResult::Failed, FailureReason(path, "read", outcome.error));
        if (outcome.count % RecordSize != 0)
            return fail(CalibrationReadResult::Failed,
                        path.string() + ": " + std::to_string(outcome.count % RecordSize)
                            + " bytes after the last whole record");
        if (outcome.count < block.size()) {
            if (state) {
                *state = FileState::Of(info);
                state->hash = hash.Value();
            }
            return CalibrationReadResult::Complete;
        }
    }
}

CalibrationReadResult ReadCalibrationFile(const fs::path &path, std::vector<TCalibPoint> &points,
                                          std::string *failure)
{
    FileOps posix;
    return ReadCalibrationFile(path, points, posix, failure);
}

std::vector<std::uint8_t> EncodeCalibration(std::int32_t width, std::int32_t height,
                                            std::span<const TCalibPoint> points)
{
    return CalibrationLayout::Encode(width, height, points);
}

std::string WriteCalibrationFile(const fs::path &path, std::int32_t width, std::int32_t height,
                                 std::span<const TCalibPoint> points, FileOps &ops)
{
    return ReplaceFile(ops, path, EncodeCalibration(width, height, points), std::nullopt);
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
