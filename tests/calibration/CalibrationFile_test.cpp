// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"

#include "calibration/CalibrationKeeper.h"
#include "calibration/Errors.h"
#include "calibration/FileOps.h"
#include "calibration/Utf.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace carteva {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;
using TempFolder = test::ScratchFolder;

// A header of width 640 and height 480, then `size - 8` seeded random bytes: every record holds odd
// bit patterns and non-zero gap bytes.
Bytes CalibrationBytes(std::size_t size)
{
    Bytes bytes = {0x80, 0x02, 0, 0, 0xE0, 0x01, 0, 0};
    bytes.resize(std::min<std::size_t>(size, 8));
    std::mt19937 random(static_cast<unsigned>(size));
    while (bytes.size() < size)
        bytes.push_back(static_cast<std::uint8_t>(random()));
    return bytes;
}

// The real calls, except that reads and writes move at most `chunk` bytes and the chosen step
// fails.
enum class Step { None, CreateTemporary, Write, Chmod, Fsync, Close, Rename, FolderFsync, Read };

class FlakyFileOps : public FileOps
{
public:
    explicit FlakyFileOps(Step failing, std::size_t chunk = SIZE_MAX, int readsBeforeFailure = 0)
        : m_failing(failing)
        , m_chunk(chunk)
        , m_readsLeft(readsBeforeFailure)
    { }

    int CreateExclusive(const char *path, mode_t mode) override
    {
        if (m_failing == Step::CreateTemporary)
            return Refuse(ENOSPC);
        return m_temporaryFd = FileOps::CreateExclusive(path, mode);
    }
    int OpenFolder(const char *path) override { return m_folderFd = FileOps::OpenFolder(path); }
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        if (m_failing == Step::Read && m_readsLeft-- == 0)
            return Refuse(EIO);
        return FileOps::Read(fd, buffer, std::min(size, m_chunk));
    }
    ssize_t Write(int fd, const void *buffer, std::size_t size) override
    {
        if (m_failing == Step::Write)
            return Refuse(ENOSPC);
        return FileOps::Write(fd, buffer, std::min(size, m_chunk));
    }
    int Fchmod(int fd, mode_t mode) override
    {
        return m_failing == Step::Chmod ? Refuse(EPERM) : FileOps::Fchmod(fd, mode);
    }
    int Fsync(int fd) override
    {
        const Step step = fd == m_folderFd ? Step::FolderFsync : Step::Fsync;
        return m_failing == step ? Refuse(EIO) : FileOps::Fsync(fd);
    }
    int Close(int fd) override
    {
        const int result = FileOps::Close(fd);
        return m_failing == Step::Close && fd == m_temporaryFd ? Refuse(EIO) : result;
    }
    int Rename(const char *from, const char *to) override
    {
        return m_failing == Step::Rename ? Refuse(EXDEV) : FileOps::Rename(from, to);
    }

private:
    static int Refuse(int error)
    {
        errno = error;
        return -1;
    }

    Step m_failing;
    std::size_t m_chunk;
    int m_readsLeft;
    int m_temporaryFd = -1;
    int m_folderFd = -1;
};

std::vector<TCalibPoint> Points(const Bytes &bytes)
{
    std::vector<TCalibPoint> points;
    for (std::size_t at = 8; at + 40 <= bytes.size(); at += 40) {
        TCalibPoint::Record record;
        std::copy_n(bytes.begin() + std::ptrdiff_t(at), 40, record.begin());
        points.push_back(TCalibPoint::FromRecord(record));
    }
    return points;
}

TEST(CalibrationFile, NameReplacesTheLastThreeCharacters)
{
    const struct
    {
        std::u16string bitmap, expected;
    } rows[] = {
        {u"/maps/valley.bmp", u"/maps/valley.cali"},
        {u"/maps/valley.jpeg", u"/maps/valley.jcali"},
        {u"/maps/valley.ico", u"/maps/valley.cali"},
        {u"/maps/valley.x", u"/maps/vallecali"},
        {u"/maps/Údolí.BMP", u"/maps/Údolí.cali"},
        {u"/maps/\u5730\u56FE.\u0628\u0645\u067E", u"/maps/\u5730\u56FE.cali"},
        {u"/maps/a.b\U0001F5FA", u"/maps/a.cali"},
        {u"/maps/a\U0001F5FAbc", u"/maps/acali"}, // never half a surrogate pair
        {u"ab", u"cali"},
        {u"", u"cali"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(CalibrationFileName(row.bitmap), row.expected) << ToUtf8(row.bitmap);
}

TEST(CalibrationFile, ReadAppendsWholeRecordsAndReportsWhatStoppedIt)
{
    const struct
    {
        const char *name;
        std::size_t size;
        CalibrationReadResult expected;
        std::size_t points;
    } rows[] = {
        {"empty", 0, CalibrationReadResult::Failed, 0},
        {"half a header", 4, CalibrationReadResult::Failed, 0},
        {"header less a byte", 7, CalibrationReadResult::Failed, 0},
        {"header only", 8, CalibrationReadResult::Complete, 0},
        {"three records", 8 + 40 * 3, CalibrationReadResult::Complete, 3},
        {"three records and a 12-byte tail", 8 + 40 * 3 + 12, CalibrationReadResult::Failed, 3},
        // Reads go in blocks of 16384 records; the edges of a block must not lose or invent any.
        {"one block", 8 + 40 * 16384, CalibrationReadResult::Complete, 16384},
        {"a block and a record", 8 + 40 * 16385, CalibrationReadResult::Complete, 16385},
        {"a block and a tail", 8 + 40 * 16384 + 39, CalibrationReadResult::Failed, 16384},
    };
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    for (const auto &row : rows) {
        const Bytes bytes = CalibrationBytes(row.size);
        WriteBytes(path, bytes);
        std::vector<TCalibPoint> points(1); // what was there before stays first
        ASSERT_EQ(ReadCalibrationFile(path, points), row.expected) << row.name;
        ASSERT_EQ(points.size(), 1 + row.points) << row.name;
        const std::vector<TCalibPoint> expected = Points(bytes);
        for (std::size_t i = 0; i < row.points; ++i)
            ASSERT_EQ(points[1 + i].ToRecord(), expected[i].ToRecord()) << row.name << " " << i;
    }
}

TEST(CalibrationFile, ReadTellsAMissingFileFromAnUnreadableOne)
{
    TempFolder folder;
    std::vector<TCalibPoint> points;
    std::string failure;
    EXPECT_EQ(ReadCalibrationFile(folder.path / "none.cali", points, &failure),
              CalibrationReadResult::NoSuchFile);
    EXPECT_EQ(failure, (folder.path / "none.cali").string() + ": open: " + std::strerror(ENOENT));
    EXPECT_EQ(ReadCalibrationFile(folder.path, points), CalibrationReadResult::Failed);
    EXPECT_TRUE(points.empty());
}

// Nothing but a regular file is read, backed up or replaced, and nothing waits for a writer.
TEST(CalibrationFile, FilesThatAreNotRegularFilesFailAtOnceAndStayAsTheyAre)
{
    for (const fs::file_type type :
         {fs::file_type::directory, fs::file_type::fifo, fs::file_type::character}) {
        TempFolder folder;
        const fs::path path = folder.path / "valley.cali";
        if (type == fs::file_type::directory)
            fs::create_directory(path);
        else if (type == fs::file_type::fifo)
            ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
        else
            fs::create_symlink("/dev/null", path);
        CalibrationKeeper keeper;
        std::vector<TCalibPoint> points;
        EXPECT_EQ(keeper.Read(path, points), CalibrationReadResult::Failed);
        EXPECT_EQ(keeper.ReadFailure(), path.string() + ": not a regular file");
        points.push_back(TCalibPoint {1, 2, 3, 4}); // a point of this run: it goes elsewhere
        EXPECT_EQ(keeper.Write(path, 1, 2, points).outcome,
                  CalibrationKeeper::Outcome::NotReplaced);
        EXPECT_THROW(WriteCalibrationFile(path, 1, 2, {}), Error);
        EXPECT_EQ(fs::status(path).type(), type);
        EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});
    }
}

TEST(CalibrationFile, ReadKeepsThePointsBeforeAReadError)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    WriteBytes(path, CalibrationBytes(8 + 40 * 5));
    std::vector<TCalibPoint> points;
    FlakyFileOps trickle(Step::None, 40);
    EXPECT_EQ(ReadCalibrationFile(path, points, trickle), CalibrationReadResult::Complete);
    EXPECT_EQ(points.size(), 5u);

    points.clear();
    FlakyFileOps failing(Step::Read, 40, 3); // the header, two records, then an error
    EXPECT_EQ(ReadCalibrationFile(path, points, failing), CalibrationReadResult::Failed);
    EXPECT_EQ(points.size(), 2u);
}

TEST(CalibrationFile, ThreeRecordsReadAndWrittenBackGiveTheSameBytes)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const Bytes original = CalibrationBytes(128);
    WriteBytes(path, original);
    std::vector<TCalibPoint> points;
    ASSERT_EQ(ReadCalibrationFile(path, points), CalibrationReadResult::Complete);
    WriteCalibrationFile(path, 640, 480, points);
    EXPECT_EQ(ReadBytes(path), original);

    FlakyFileOps trickle(Step::None, 7); // partial writes
    WriteCalibrationFile(folder.path / "new.cali", 640, 480, points, trickle);
    EXPECT_EQ(ReadBytes(folder.path / "new.cali"), original);
    EXPECT_EQ(folder.Names(), (std::set<std::string> {"new.cali", "valley.cali"}));
}

TEST(CalibrationFile, SaveKeepsOldFileWhenAnyStepFails)
{
    const struct
    {
        Step step;
        const char *name;
    } rows[] = {
        {Step::CreateTemporary, "create temporary"},
        {Step::Write, "write"},
        {Step::Chmod, "chmod"},
        {Step::Fsync, "fsync"},
        {Step::Close, "close"},
        {Step::Rename, "rename"},
    };
    const std::vector<TCalibPoint> points(2);
    for (const auto &row : rows) {
        TempFolder folder;
        const fs::path path = folder.path / "valley.cali";
        const Bytes old = CalibrationBytes(48);
        WriteBytes(path, old);
        FlakyFileOps ops(row.step);
        EXPECT_THROW(WriteCalibrationFile(path, 1, 2, points, ops), Error) << row.name;
        EXPECT_EQ(ReadBytes(path), old) << row.name;
        EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"}) << row.name;
    }
}

TEST(CalibrationFile, SaveWarnsOfAFolderThatCannotBeFlushed)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    WriteBytes(path, CalibrationBytes(48));
    FlakyFileOps ops(Step::FolderFsync);
    const std::string warning = WriteCalibrationFile(path, 1, 2, {}, ops);
    EXPECT_NE(warning.find(folder.path.string() + ": fsync: " + std::strerror(EIO)),
              std::string::npos)
        << warning;
    EXPECT_EQ(ReadBytes(path), (Bytes {1, 0, 0, 0, 2, 0, 0, 0})); // already renamed into place
    EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});
}

TEST(CalibrationFile, SaveRefusesAReadOnlyFileAndAMissingFolder)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const Bytes old = CalibrationBytes(48);
    WriteBytes(path, old);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_THROW(WriteCalibrationFile(path, 1, 2, {}), Error);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});

    EXPECT_THROW(WriteCalibrationFile(folder.path / "none" / "valley.cali", 1, 2, {}), Error);
    EXPECT_FALSE(fs::exists(folder.path / "none"));
}

TEST(CalibrationFile, SaveKeepsTheModeAndWritesThroughLinks)
{
    TempFolder folder;
    const fs::path real = folder.path / "real.cali";
    const fs::path link = folder.path / "valley.cali";
    WriteBytes(real, CalibrationBytes(8));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.cali", link);

    WriteCalibrationFile(link, 3, 4, {});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(real), (Bytes {3, 0, 0, 0, 4, 0, 0, 0}));
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(CalibrationFile, BackupCopiesTheCurrentBytesAgainAndAgain)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    EXPECT_THROW(BackupCalibrationFile(path), Error);
    EXPECT_TRUE(folder.Names().empty());

    // A read-only calibration file still gets a backup that the next backup can replace.
    WriteBytes(path, CalibrationBytes(48));
    fs::permissions(path, fs::perms::owner_read);
    BackupCalibrationFile(path);
    EXPECT_EQ(ReadBytes(folder.path / "valley.cali.bak"), CalibrationBytes(48));

    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    WriteBytes(path, CalibrationBytes(88));
    BackupCalibrationFile(path);
    EXPECT_EQ(ReadBytes(folder.path / "valley.cali.bak"), CalibrationBytes(88));

    FlakyFileOps failing(Step::Rename);
    WriteBytes(path, CalibrationBytes(8));
    EXPECT_THROW(BackupCalibrationFile(path, failing), Error);
    EXPECT_EQ(ReadBytes(folder.path / "valley.cali.bak"), CalibrationBytes(88));
    EXPECT_EQ(folder.Names(), (std::set<std::string> {"valley.cali", "valley.cali.bak"}));
}

// Reading runs out of memory after the header.
class ExhaustedFileOps : public FileOps
{
public:
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        if (m_reads++ > 0)
            throw std::bad_alloc();
        return FileOps::Read(fd, buffer, size);
    }

private:
    int m_reads = 0;
};

TCalibPoint At(std::int32_t x, Extended lat)
{
    TCalibPoint point;
    point.X = x;
    point.Y = 7;
    point.Lat = lat;
    point.Lon = -lat;
    return point;
}

// What the file holds when another writer is done with it: nothing means it is removed. Where
// the merge drops something of the other side (a broken file, its version of a point both sides
// changed, points it removed), that goes to a new file beside it first.
TEST(CalibrationFile, KeeperNeverWritesOverAFileItHasNotRead)
{
    using Outcome = CalibrationKeeper::Outcome;
    using Points = std::vector<TCalibPoint>;
    const TCalibPoint a = At(1, 10), b = At(2, 20), ours = At(3, 30), theirs = At(4, 40);
    // A second record on a's pixel, and many more, some on pixels already taken.
    const TCalibPoint onA = At(1, 99);
    Points many {a, b};
    for (int i = 0; i < 100000; ++i)
        many.push_back(At(i % 50000, 100 + i));
    Bytes garbage = EncodeCalibration(1, 2, Points {a, b});
    std::fill(garbage.begin(), garbage.end(), 0x5A);
    const struct
    {
        const char *name;
        Points start, window;
        std::optional<Bytes> other; // what another writer left
        Outcome outcome;
        std::size_t fromOther, removedByOther;
        std::optional<Points> file; // nothing: the other writer's bytes stay
        std::size_t conflicts = 0;
        std::optional<Points> setAside; // the other side's records kept in a new file
        bool broken = false; // the other writer's file is kept as it is
        bool sameTime = false; // its writer put the modification time back
    } rows[] = {
        {"added on both sides", {a}, {a, ours}, EncodeCalibration(1, 2, Points {a, theirs}),
         Outcome::Merged, 1, 0, Points {a, ours, theirs}, 0, std::nullopt, false, false},
        {"same point changed on both: the window wins, the user is told", {a}, {At(1, 11)},
         EncodeCalibration(1, 2, Points {At(1, 12)}), Outcome::Merged, 0, 0, Points {At(1, 11)}, 1,
         Points {At(1, 12)}, false, false},
        {"removed here, changed there", {a, b}, {b}, EncodeCalibration(1, 2, Points {At(1, 12), b}),
         Outcome::Merged, 0, 0, Points {b}, 1, Points {At(1, 12)}, false, false},
        {"changed there, kept here", {a, b}, {a, b, ours},
         EncodeCalibration(1, 2, Points {a, At(2, 21)}), Outcome::Merged, 1, 0,
         Points {a, At(2, 21), ours}, 0, std::nullopt, false, false},
        {"removed there, kept here", {a, b}, {a, b, ours}, EncodeCalibration(1, 2, Points {b}),
         Outcome::Merged, 0, 1, Points {b, ours}, 0, Points {a}, false, false},
        {"truncated to its header there", {a, b}, {a, b, ours}, EncodeCalibration(1, 2, {}),
         Outcome::Merged, 0, 2, Points {ours}, 0, Points {a, b}, false, false},
        {"a second record on one pixel there", {a}, {a, ours},
         EncodeCalibration(1, 2, Points {a, onA}), Outcome::Merged, 1, 0, Points {a, ours, onA}, 0,
         std::nullopt, false, false},
        {"one record twice there", {a, b}, {a, b, ours},
         EncodeCalibration(1, 2, Points {a, b, a}), Outcome::Merged, 1, 0, Points {a, b, ours, a}, 0,
         std::nullopt, false, false},
        {"a hundred thousand appended there", {a, b}, {a, b, ours}, EncodeCalibration(1, 2, many),
         Outcome::Merged, 100000, 0, [&] {
             Points merged {a, b, ours};
             merged.insert(merged.end(), many.begin() + 2, many.end());
             return merged;
         }(), 0, std::nullopt, false, false},
        {"same size, same modification time", {a, b}, {a, b, ours},
         EncodeCalibration(1, 2, Points {a, At(2, 21)}), Outcome::Merged, 1, 0,
         Points {a, At(2, 21), ours}, 0, std::nullopt, false, true},
        {"touched, not changed", {a}, {a, ours}, EncodeCalibration(1, 2, Points {a}),
         Outcome::Written, 0, 0, Points {a, ours}, 0, std::nullopt, false, false},
        {"file vanished", {a}, {a, ours}, std::nullopt, Outcome::Written, 0, 0, Points {a, ours},
         0, std::nullopt, false, false},
        {"cut short there", {a}, {a, ours}, Bytes {1, 2, 3}, Outcome::Merged, 0, 0,
         Points {a, ours}, 0, std::nullopt, true, false},
        {"garbage of a valid length there", {a, b}, {a, b, ours}, garbage, Outcome::Merged, 0, 0,
         Points {a, b, ours}, 0, std::nullopt, true, false},
        {"made for another picture there", {a}, {a, ours}, EncodeCalibration(9, 9, Points {a, b}),
         Outcome::Merged, 0, 0, Points {a, ours}, 0, std::nullopt, true, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        const fs::path path = folder.path / "valley.cali";
        const Bytes startBytes = EncodeCalibration(1, 2, row.start);
        WriteBytes(path, startBytes);
        const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
        fs::last_write_time(path, longAgo);
        CalibrationKeeper keeper;
        std::vector<TCalibPoint> points;
        ASSERT_EQ(keeper.Read(path, points), CalibrationReadResult::Complete);
        if (row.other)
            WriteBytes(path, *row.other);
        else
            fs::remove(path);
        if (row.sameTime)
            fs::last_write_time(path, longAgo);
        points = row.window;
        const CalibrationKeeper::WriteResult result = keeper.Write(path, 1, 2, points);
        EXPECT_EQ(result.outcome, row.outcome);
        EXPECT_EQ(result.fromOtherSide, row.fromOther);
        EXPECT_EQ(result.removedByOtherSide, row.removedByOther);
        EXPECT_EQ(result.conflicts.size(), row.conflicts);
        EXPECT_TRUE(ReadBytes(path) == (row.file ? EncodeCalibration(1, 2, *row.file) : *row.other));
        if (row.file) {
            EXPECT_TRUE(EncodeCalibration(1, 2, points) == EncodeCalibration(1, 2, *row.file));
        }
        std::set<std::string> names {"valley.cali"};
        // The file as this run first read it is kept once the points it held change.
        if (!SameRecords(*row.file, row.start)) {
            names.insert("valley.cali.bak");
            EXPECT_EQ(ReadBytes(folder.path / "valley.cali.bak"), startBytes);
        }
        const std::string kept = row.broken ? result.brokenCopy
            : row.conflicts > 0              ? result.otherVersionsCopy
                                             : result.removedCopy;
        EXPECT_EQ(kept.empty(), !row.broken && !row.setAside);
        if (!kept.empty()) {
            names.insert(fs::path(kept).filename().string());
            EXPECT_EQ(ReadBytes(kept), row.broken ? *row.other : EncodeCalibration(1, 2, *row.setAside));
        }
        EXPECT_EQ(folder.Names(), names);
        // What was written is what the next write starts from: no second merge.
        EXPECT_EQ(keeper.Write(path, 1, 2, points).outcome, Outcome::Written);
    }
}

// A change is one transaction: the edit sees the list with the other writer's change in it, and
// an edit that throws leaves the list, the file and the keeper as they were.
TEST(CalibrationFile, KeeperAppliesTheEditAfterTheMergeAndAFailingEditWritesNothing)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const TCalibPoint a = At(1, 10), theirs = At(4, 40), ours = At(3, 30);
    WriteBytes(path, EncodeCalibration(1, 2, std::vector {a}));
    CalibrationKeeper keeper;
    std::vector<TCalibPoint> points;
    ASSERT_EQ(keeper.Read(path, points), CalibrationReadResult::Complete);
    const Bytes changed = EncodeCalibration(1, 2, std::vector {a, theirs});
    WriteBytes(path, changed);
    struct Refused
    { };
    EXPECT_THROW(keeper.Transact(path, 1, 2, points,
                                 [](std::vector<TCalibPoint> &list) {
                                     list.clear();
                                     throw Refused {};
                                 }),
                 Refused);
    EXPECT_EQ(points.size(), 1u);
    EXPECT_EQ(ReadBytes(path), changed);
    EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});

    std::size_t seen = 0;
    const auto result = keeper.Transact(path, 1, 2, points, [&](std::vector<TCalibPoint> &list) {
        seen = list.size();
        list.push_back(ours);
    });
    EXPECT_EQ(seen, 2u);
    EXPECT_EQ(result.fromOtherSide, 1u);
    EXPECT_EQ(ReadBytes(path), EncodeCalibration(1, 2, std::vector {a, theirs, ours}));
    EXPECT_EQ(EncodeCalibration(1, 2, points), ReadBytes(path));
}

TEST(CalibrationFile, KeeperOutOfMemoryWhileReadingLeavesTheFileAlone)
{
    TempFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const Bytes original = CalibrationBytes(8 + 40 * 3);
    WriteBytes(path, original);
    ExhaustedFileOps ops;
    CalibrationKeeper keeper(ops);
    std::vector<TCalibPoint> points;
    EXPECT_EQ(keeper.Read(path, points), CalibrationReadResult::Failed);
    EXPECT_EQ(keeper.ReadFailure(), path.string() + ": out of memory after 0 points");
    // Nothing of this run to keep: nothing is written; a point of its own goes elsewhere.
    EXPECT_EQ(keeper.Write(path, 1, 2, points).outcome, CalibrationKeeper::Outcome::Untouched);
    points.push_back(At(5, 50));
    EXPECT_EQ(keeper.Write(path, 1, 2, points).outcome, CalibrationKeeper::Outcome::NotReplaced);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});
}

} // namespace
} // namespace carteva
