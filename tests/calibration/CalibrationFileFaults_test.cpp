// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationFile.h"
#include "calibration/CalibrationKeeper.h"

#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileLock.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"
#include "calibration/RewriteJournal.h"
#include "support/DyingFileOps.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace carteva {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;
using ScratchFolder = test::ScratchFolder;

std::vector<TCalibPoint> SomePoints(int count, int seed)
{
    std::mt19937 random(static_cast<unsigned>(seed));
    std::vector<TCalibPoint> points(static_cast<std::size_t>(count));
    for (TCalibPoint &point : points) {
        point.X = static_cast<std::int32_t>(random() % 4000);
        point.Y = static_cast<std::int32_t>(random() % 3000);
        point.Lat = static_cast<Extended>(random()) / 1e8L;
        point.Lon = -static_cast<Extended>(random()) / 1e8L;
    }
    return points;
}

// The bytes WriteCalibrationFile gives for these points, taken from a save that cannot fail.
Bytes SavedBytes(std::int32_t width, std::int32_t height, const std::vector<TCalibPoint> &points)
{
    ScratchFolder folder;
    WriteCalibrationFile(folder.path / "x.cali", width, height, points);
    return ReadBytes(folder.path / "x.cali");
}

// How a folder refuses new files: the call ("create temporary" or "rename") that always fails, and
// its error.
struct Refusal
{
    const char *call = "";
    int error = 0;
    fs::path journalFolder {}; // where a rewrite in place may put its journal; none: nowhere
};

// The real calls, with writes cut into small pieces (so that a save makes many of them), and the
// call numbered `failAt` (counting every call of a save) failing with `error`.
class FailingFileOps : public FileOps
{
public:
    explicit FailingFileOps(int failAt, int error = EIO, std::size_t writeChunk = 7,
                            Refusal refusal = {})
        : m_failAt(failAt)
        , m_error(error)
        , m_writeChunk(writeChunk)
        , m_refusal(refusal)
    { }

    int Calls() const { return m_calls; }
    bool Failed() const { return m_failed; }
    const std::string &FailedCall() const { return m_failedCall; }

    int OpenForReading(const char *path) override
    {
        return Fail("open") ? -1 : FileOps::OpenForReading(path);
    }
    int OpenForRewriting(const char *path) override
    {
        return Fail("open for rewriting") ? -1 : FileOps::OpenForRewriting(path);
    }
    int CreateExclusive(const char *path, mode_t mode) override
    {
        return Fail("create temporary") || Refused("create temporary", path)
            ? -1
            : FileOps::CreateExclusive(path, mode);
    }
    int OpenFolder(const char *path) override
    {
        return Fail("open folder") ? -1 : FileOps::OpenFolder(path);
    }
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        return Fail("read") ? -1 : FileOps::Read(fd, buffer, size);
    }
    ssize_t Write(int fd, const void *buffer, std::size_t size) override
    {
        return Fail("write") ? -1 : FileOps::Write(fd, buffer, std::min(size, m_writeChunk));
    }
    int Stat(const char *path, struct stat *info) override
    {
        return Fail("stat") ? -1 : FileOps::Stat(path, info);
    }
    int Fstat(int fd, struct stat *info) override
    {
        return Fail("fstat") ? -1 : FileOps::Fstat(fd, info);
    }
    int AccessForWriting(const char *path) override
    {
        return Fail("access") ? -1 : FileOps::AccessForWriting(path);
    }
    int Fchmod(int fd, mode_t mode) override
    {
        return Fail("chmod") ? -1 : FileOps::Fchmod(fd, mode);
    }
    off_t Seek(int fd, off_t offset) override
    {
        return Fail("lseek") ? -1 : FileOps::Seek(fd, offset);
    }
    int Truncate(int fd, off_t size) override
    {
        return Fail("ftruncate") ? -1 : FileOps::Truncate(fd, size);
    }
    int Fsync(int fd) override { return Fail("fsync") ? -1 : FileOps::Fsync(fd); }
    int Close(int fd) override
    {
        // The descriptor is released either way, as close(2) does.
        const int result = FileOps::Close(fd);
        return Fail("close") ? -1 : result;
    }
    int Rename(const char *from, const char *to) override
    {
        return Fail("rename") || Refused("rename") ? -1 : FileOps::Rename(from, to);
    }
    int Unlink(const char *path) override { return FileOps::Unlink(path); }

private:
    bool Refused(const char *call, const char *path = nullptr) const
    {
        // The refusing folder is the file's: a journal folder elsewhere takes files.
        if (std::strcmp(call, m_refusal.call) != 0
            || (path && !m_refusal.journalFolder.empty()
                && std::string(path).starts_with(m_refusal.journalFolder.string())))
            return false;
        errno = m_refusal.error;
        return true;
    }

    bool Fail(const char *call)
    {
        if (m_calls++ != m_failAt)
            return false;
        m_failed = true;
        m_failedCall = call;
        errno = m_error;
        return true;
    }

    int m_failAt;
    int m_error;
    std::size_t m_writeChunk;
    Refusal m_refusal;
    int m_calls = 0;
    bool m_failed = false;
    std::string m_failedCall;
};

// Fails every call of a save in turn (every write of a chunked one included) and checks that the
// file on disk is the complete old one, or, for a failure after the rename, the complete new one,
// with no temporary file left either way. In a folder that refuses new files the old file is
// rewritten in place, and any failure there must put its old bytes back.
void SweepSaveFailures(const std::optional<Bytes> &old, Refusal refusal = {})
{
    const std::vector<TCalibPoint> points = SomePoints(5, 1);
    const Bytes saved = SavedBytes(800, 600, points);
    // Without a place for its journal, no rewrite in place is risked.
    const bool noJournal = refusal.error != 0 && refusal.journalFolder.empty()
        && std::strcmp(refusal.call, "create temporary") == 0;
    int failAt = 0;
    for (;; ++failAt) {
        ScratchFolder folder;
        const fs::path path = folder.path / "valley.cali";
        if (old)
            WriteBytes(path, *old);
        FailingFileOps ops(failAt, EIO, 7, refusal);
        bool threw = false;
        std::string warning;
        try {
            warning = ReplaceFile(ops, path, EncodeCalibration(800, 600, points), std::nullopt,
                                  refusal.journalFolder);
        } catch (const Error &) {
            threw = true;
        }
        const bool replaced = fs::exists(path) && ReadBytes(path) == saved;
        if (!ops.Failed()) {
            EXPECT_EQ(threw, noJournal);
            EXPECT_EQ(replaced, !noJournal);
            if (noJournal) {
                EXPECT_EQ(ReadBytes(path), *old);
            }
            break;
        }
        SCOPED_TRACE("failing call " + std::to_string(failAt) + ": " + ops.FailedCall());
        if (replaced) {
            // Once the new file is in place only the folder's flush is left to fail, which is a
            // warning, not a failed save; closing the folder (or the file rewritten in place and
            // flushed) cannot matter, nor can the journal folder refusing the side file of a
            // rewrite in place, which then lies beside the file.
            const std::string &call = ops.FailedCall();
            EXPECT_FALSE(threw);
            EXPECT_TRUE(call == "open folder" || call == "fsync" || call == "close"
                        || call == "create temporary")
                << call;
            EXPECT_EQ(warning.empty(), call == "close" || call == "create temporary") << warning;
        } else {
            EXPECT_TRUE(threw) << "a save that did not happen was not reported";
            if (old)
                EXPECT_EQ(ReadBytes(path), *old);
            else
                EXPECT_FALSE(fs::exists(path));
        }
        const std::set<std::string> expected
            = replaced || old ? std::set<std::string> {"valley.cali"} : std::set<std::string> {};
        EXPECT_EQ(folder.Names(), expected);
        if (!refusal.journalFolder.empty() && fs::exists(refusal.journalFolder)) {
            EXPECT_TRUE(fs::is_empty(refusal.journalFolder));
        }
    }
    // Five 40-byte records in 7-byte writes: the sweep went through every one of them.
    if (!noJournal) {
        EXPECT_GT(failAt, int(saved.size() / 7));
    }
}

TEST(CalibrationFileFaults, SaveKeepsOldFileWhateverCallFails)
{
    Bytes old = SavedBytes(640, 480, SomePoints(3, 2));
    old.push_back(0x5A); // a tail: the old file need not be well-formed to be kept
    SweepSaveFailures(old);
}

TEST(CalibrationFileFaults, SaveLeavesNoFileBehindWhenTheFirstSaveFails)
{
    SweepSaveFailures(std::nullopt);
}

TEST(CalibrationFileFaults, FolderThatRefusesNewFilesGetsTheFileRewrittenInPlaceOrKeepsItsBytes)
{
    const struct
    {
        Refusal refusal;
        int oldPoints;
    } rows[] = {
        {{"create temporary", EACCES}, 3}, // read-only folder; the new file is longer
        {{"create temporary", EPERM}, 9}, // immutable folder; the new file is shorter
        {{"create temporary", EROFS}, 3},
        {{"create temporary", ENAMETOOLONG}, 9}, // a file system with shorter names
        {{"rename", EPERM}, 9}, // sticky folder, and the file is someone else's
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.refusal.call) + " " + std::strerror(row.refusal.error));
        // With a journal folder elsewhere the file is rewritten in place; with none, no save is
        // risked that a kill could leave neither old nor new.
        ScratchFolder journals;
        for (const bool withJournalFolder : {true, false}) {
            Refusal refusal = row.refusal;
            if (withJournalFolder)
                refusal.journalFolder = journals.path / "journal";
            SweepSaveFailures(SavedBytes(640, 480, SomePoints(row.oldPoints, 2)), refusal);
        }
    }
}

TEST(CalibrationFileFaults, EveryFailingStepGivesAnError)
{
    const struct
    {
        const char *call;
        int error;
        const char *named; // the call as the message names it
    } rows[] = {
        {"create temporary", ENOSPC, ": open: "},
        {"write", ENOSPC, ": write: "},
        {"write", EDQUOT, ": write: "},
        {"write", EFBIG, ": write: "},
        {"fsync", EIO, ": fsync: "},
        {"close", EIO, ": close: "},
        {"rename", EXDEV, "a.cali: rename: "},
        {"rename", EACCES, "a.cali: rename: "},
        {"stat", EACCES, "a.cali: stat: "},
    };
    const std::vector<TCalibPoint> points = SomePoints(4, 3);
    for (const auto &row : rows) {
        // Find the first call of that kind, then fail it with the row's error.
        for (int failAt = 0;; ++failAt) {
            FailingFileOps probe(failAt);
            ScratchFolder folder;
            WriteBytes(folder.path / "a.cali", {1, 2, 3});
            try {
                WriteCalibrationFile(folder.path / "a.cali", 10, 10, points, probe);
            } catch (const Error &) { }
            ASSERT_TRUE(probe.Failed()) << row.call;
            if (probe.FailedCall() != row.call)
                continue;
            FailingFileOps ops(failAt, row.error);
            WriteBytes(folder.path / "a.cali", {1, 2, 3});
            try {
                WriteCalibrationFile(folder.path / "a.cali", 10, 10, points, ops);
                ADD_FAILURE() << row.call << " failed without an error";
            } catch (const Error &error) {
                // Says why: the file, the call and the system's message.
                const std::string what = error.what();
                EXPECT_EQ(what.rfind(folder.path.string() + "/", 0), 0u) << what;
                EXPECT_NE(what.find(row.named + std::string(std::strerror(row.error))),
                          std::string::npos)
                    << what;
            }
            EXPECT_EQ(ReadBytes(folder.path / "a.cali"), (Bytes {1, 2, 3})) << row.call;
            EXPECT_EQ(folder.Names(), std::set<std::string> {"a.cali"}) << row.call;
            break;
        }
    }
}

// Interrupted and short writes are part of normal operation, not failures.
class InterruptingFileOps : public FileOps
{
public:
    ssize_t Write(int fd, const void *buffer, std::size_t size) override
    {
        if (++m_writes % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        return FileOps::Write(fd, buffer, std::min<std::size_t>(size, 1 + m_writes % 11));
    }
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        if (++m_reads % 4 == 0) {
            errno = EINTR;
            return -1;
        }
        return FileOps::Read(fd, buffer, std::min<std::size_t>(size, 1 + m_reads % 13));
    }

private:
    int m_writes = 0;
    int m_reads = 0;
};

TEST(CalibrationFileFaults, InterruptedAndShortWritesAndReadsStillSaveAndLoadEverything)
{
    ScratchFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const std::vector<TCalibPoint> points = SomePoints(20, 4);
    InterruptingFileOps ops;
    WriteCalibrationFile(path, 1, 2, points, ops);
    EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, points));
    std::vector<TCalibPoint> read;
    EXPECT_EQ(ReadCalibrationFile(path, read, ops), CalibrationReadResult::Complete);
    ASSERT_EQ(read.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_EQ(read[i].ToRecord(), points[i].ToRecord());
}

TEST(CalibrationFileFaults, BackupKeepsOldBackupWhateverCallFails)
{
    const Bytes current = SavedBytes(5, 6, SomePoints(3, 5));
    const Bytes oldBackup = {9, 8, 7};
    for (int failAt = 0;; ++failAt) {
        ScratchFolder folder;
        const fs::path path = folder.path / "valley.cali";
        WriteBytes(path, current);
        WriteBytes(folder.path / "valley.cali.bak", oldBackup);
        FailingFileOps ops(failAt);
        try {
            BackupCalibrationFile(path, ops);
        } catch (const Error &) { }
        const Bytes backup = ReadBytes(folder.path / "valley.cali.bak");
        EXPECT_EQ(ReadBytes(path), current) << "call " << failAt;
        EXPECT_TRUE(backup == oldBackup || backup == current) << "call " << failAt;
        EXPECT_EQ(folder.Names(), (std::set<std::string> {"valley.cali", "valley.cali.bak"}))
            << "call " << failAt;
        if (!ops.Failed())
            break;
    }
}

// A child process saves two different point lists in turn, without end, and is killed at a
// random moment: the file is always one of the two, complete. The child reports each finished
// save, so that the kills land at all points of the cycle however slow the machine is.
TEST(CalibrationFileFaults, KilledSaveLeavesTheCompleteOldOrNewFile)
{
    ScratchFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const std::vector<TCalibPoint> first = SomePoints(300, 6);
    const std::vector<TCalibPoint> second = SomePoints(700, 7);
    const Bytes firstBytes = SavedBytes(100, 100, first);
    const Bytes secondBytes = SavedBytes(200, 200, second);
    WriteBytes(path, firstBytes);

    std::mt19937 random(8);
    int kills = 0, sawFirst = 0, sawSecond = 0;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3) && kills < 300) {
        int saves[2];
        ASSERT_EQ(pipe(saves), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(saves[0]);
            for (;;) {
                WriteCalibrationFile(path, 200, 200, second);
                (void)!write(saves[1], "s", 1);
                WriteCalibrationFile(path, 100, 100, first);
                (void)!write(saves[1], "f", 1);
            }
        }
        close(saves[1]);
        char done;
        for (unsigned wait = random() % 4; wait > 0; --wait)
            ASSERT_EQ(read(saves[0], &done, 1), 1);
        usleep(static_cast<useconds_t>(random() % 3000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(saves[0]);
        ++kills;

        const Bytes now = ReadBytes(path);
        ASSERT_TRUE(now == firstBytes || now == secondBytes)
            << "after kill " << kills << ": " << now.size() << " bytes";
        (now == firstBytes ? sawFirst : sawSecond)++;
        // A killed save may leave its temporary file; it never takes the file's name.
        for (const std::string &name : folder.Names())
            if (name != "valley.cali")
                fs::remove(folder.path / name);
    }
    EXPECT_GE(kills, 10);
    EXPECT_GT(sawFirst, 0);
    EXPECT_GT(sawSecond, 0);
}

// A file with other names is rewritten in place. A child process does that and dies at one call
// after another (as by SIGKILL: no destructor runs); the next reader finishes or undoes the
// rewrite from its side file, and finds the complete old or new file, never a mix.
using test::DyingFileOps;

// After the kill another program may change the file, in place or by a rename, before the next
// Carteva comes, which may open it by its other name: the journal is found from either name, and
// it finishes the rewrite only over the old bytes, the new or a mix of them, never over another
// writer's. What it meant to write is then kept in a copy.
TEST(CalibrationFileFaults, KilledRewriteInPlaceLeavesTheOldOrNewFile)
{
    const std::vector<TCalibPoint> first = SomePoints(2000, 12), second = SomePoints(1999, 13);
    const Bytes firstBytes = SavedBytes(100, 100, first);
    const Bytes secondBytes = SavedBytes(100, 100, second);
    const Bytes x = SavedBytes(100, 100, SomePoints(1, 99));
    const Bytes xRecord(x.begin() + 8, x.end());
    enum class After { Nothing, AppendInPlace, AppendByRename };
    int dieAt = 0, sawOld = 0, sawNew = 0, copies = 0;
    for (bool done = false; !done; ++dieAt) {
        for (const After after : {After::Nothing, After::AppendInPlace, After::AppendByRename}) {
            SCOPED_TRACE("call " + std::to_string(dieAt) + ", other writer "
                         + std::to_string(static_cast<int>(after)));
            ScratchFolder folder, elsewhere, data;
            const fs::path path = folder.path / "valley.cali";
            const fs::path other = elsewhere.path / "other.cali";
            const fs::path journals = data.path / "journal";
            WriteBytes(path, firstBytes);
            fs::create_hard_link(path, other);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                DyingFileOps ops(dieAt);
                try {
                    ReplaceFile(ops, path, secondBytes, std::nullopt, journals);
                } catch (...) {
                    _exit(2);
                }
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            ASSERT_NE(WEXITSTATUS(status), 2);
            done = WEXITSTATUS(status) == 0;

            Bytes expected; // the file as the next Carteva must leave it; empty: old or new
            fs::path opened = other;
            if (after != After::Nothing) {
                Bytes grown = ReadBytes(path);
                grown.insert(grown.end(), xRecord.begin(), xRecord.end());
                if (after == After::AppendInPlace) {
                    std::ofstream(path, std::ios::binary | std::ios::app)
                        .write(reinterpret_cast<const char *>(xRecord.data()), 40);
                } else {
                    WriteBytes(folder.path / "new.cali", grown);
                    fs::rename(folder.path / "new.cali", path);
                    opened = path;
                }
                expected = grown;
            }
            CalibrationKeeper keeper;
            keeper.SetJournalFolder(journals);
            std::vector<Bytes> kept;
            keeper.SetAsideWith([&](const fs::path &, std::span<const std::uint8_t> bytes) {
                kept.emplace_back(bytes.begin(), bytes.end());
                return "copy " + std::to_string(kept.size());
            });
            std::vector<TCalibPoint> read;
            keeper.Read(opened, read);
            const Bytes now = ReadBytes(opened);
            if (expected.empty()) {
                ASSERT_TRUE(now == firstBytes || now == secondBytes) << now.size() << " bytes";
                (now == firstBytes ? sawOld : sawNew)++;
                EXPECT_TRUE(fs::equivalent(path, other));
                EXPECT_TRUE(kept.empty());
            } else {
                // The other writer's point stays; the rewrite's bytes are in a copy if it had
                // begun, and the box names it.
                ASSERT_EQ(now, expected) << now.size() << " bytes";
                for (const Bytes &copy : kept)
                    EXPECT_EQ(copy, secondBytes);
                EXPECT_EQ(keeper.JournalCopy().empty(), kept.empty());
                copies += int(kept.size());
            }
            if (after == After::AppendByRename) {
                // The rewrite's own file lives on under the other name, and is finished there.
                CalibrationKeeper second;
                second.SetJournalFolder(journals);
                read.clear();
                second.Read(other, read);
                EXPECT_TRUE(ReadBytes(other) == firstBytes || ReadBytes(other) == secondBytes);
            }
            EXPECT_EQ(folder.Names(), std::set<std::string> {"valley.cali"});
            EXPECT_EQ(elsewhere.Names(), std::set<std::string> {"other.cali"});
            EXPECT_TRUE(!fs::exists(journals) || fs::is_empty(journals));
            FileOps posix;
            EXPECT_FALSE(RewriteJournal::Pending(posix, path, journals));
        }
    }
    // 80 KB in 4000-byte writes, twice (side file and file): the kills went through all of them.
    EXPECT_GT(dieAt, 40);
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 1);
    EXPECT_GT(copies, 0);
}

// Every call takes a while, as on a slow disk or network share.
class SlowFileOps : public FileOps
{
public:
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        usleep(2000);
        return FileOps::Read(fd, buffer, std::min<std::size_t>(size, 40));
    }
    ssize_t Write(int fd, const void *buffer, std::size_t size) override
    {
        usleep(2000);
        return FileOps::Write(fd, buffer, std::min<std::size_t>(size, 40));
    }
};

// Two processes each add a point and save at the same moment; each save reads, merges and
// renames under the file's lock, so neither renames over what the other wrote after its read.
TEST(CalibrationFileFaults, TwoProcessesSavingAtOnceKeepBothPoints)
{
    ScratchFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const std::vector<TCalibPoint> start = SomePoints(5, 14);
    WriteBytes(path, SavedBytes(100, 100, start));
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            close(go[1]);
            SlowFileOps ops;
            CalibrationKeeper keeper(ops);
            std::vector<TCalibPoint> points;
            if (keeper.Read(path, points) != CalibrationReadResult::Complete)
                _exit(3);
            char start;
            (void)!read(go[0], &start, 1);
            try {
                keeper.Transact(path, 100, 100, points, [i](std::vector<TCalibPoint> &list) {
                    list.push_back(SomePoints(1, 100 + i)[0]);
                });
            } catch (...) {
                _exit(2);
            }
            _exit(0);
        }
    }
    close(go[0]);
    ASSERT_EQ(write(go[1], "gg", 2), 2);
    close(go[1]);
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    std::vector<TCalibPoint> read;
    ASSERT_EQ(ReadCalibrationFile(path, read), CalibrationReadResult::Complete);
    std::vector<TCalibPoint> both = start;
    both.push_back(SomePoints(1, 100)[0]);
    both.push_back(SomePoints(1, 101)[0]);
    EXPECT_TRUE(std::is_permutation(both.begin(), both.end(), read.begin(), read.end(),
                                    [](const TCalibPoint &x, const TCalibPoint &y) {
                                        return x.ToRecord() == y.ToRecord();
                                    }))
        << read.size() << " points";
    EXPECT_EQ(folder.Names(), (std::set<std::string> {"valley.cali", "valley.cali.bak"}));
}

// What lies beside the file: other names of it, leftovers of killed saves, names near the limit.
TEST(CalibrationFileFaults, LinksLitterAndLongNamesSurviveASave)
{
    enum class Case { HardLink, StaleTemporaries, LongName };
    for (const Case which : {Case::HardLink, Case::StaleTemporaries, Case::LongName}) {
        SCOPED_TRACE(static_cast<int>(which));
        ScratchFolder folder;
        const std::string name = which == Case::LongName ? std::string(250, 'n') + ".cali"
                                                         : std::string("valley.cali");
        const fs::path path = folder.path / name;
        WriteBytes(path, {1, 2, 3});
        std::set<std::string> names {name};
        FileOps posix;
        std::optional<Descriptor> held;
        if (which == Case::HardLink) {
            fs::create_hard_link(path, folder.path / "other.cali");
            names.insert("other.cali");
        } else if (which == Case::StaleTemporaries) {
            // Two minutes old: removed, unless a save still holds it; a new one may be a save
            // under way.
            for (const char *temporary : {".valley.cali.tmp-AbC123", ".valley.cali.tmp-held00",
                                          ".valley.cali.tmp-new000", ".valley.cali.other"})
                WriteBytes(folder.path / temporary, {9});
            for (const char *old :
                 {".valley.cali.tmp-AbC123", ".valley.cali.tmp-held00", ".valley.cali.other"})
                fs::last_write_time(folder.path / old,
                                    fs::file_time_type::clock::now() - std::chrono::minutes(2));
            held.emplace(posix,
                         ::open((folder.path / ".valley.cali.tmp-held00").c_str(), O_RDONLY));
            ASSERT_EQ(flock(held->Get(), LOCK_EX), 0);
            names.insert(
                {".valley.cali.tmp-held00", ".valley.cali.tmp-new000", ".valley.cali.other"});
        }
        const std::vector<TCalibPoint> points = SomePoints(2, 9);
        WriteCalibrationFile(path, 3, 4, points);
        EXPECT_EQ(ReadBytes(path), SavedBytes(3, 4, points));
        EXPECT_EQ(folder.Names(), names);
        if (which == Case::HardLink) {
            EXPECT_TRUE(fs::equivalent(path, folder.path / "other.cali"));
        }
    }
    // A name made to fit keeps its start, and different names stay different.
    ScratchFolder folder;
    const std::string a(300, 'a');
    const std::string fitted = FittingName(folder.path, a, 11);
    EXPECT_LE(fitted.size() + 11, std::size_t(NAME_MAX));
    EXPECT_EQ(fitted.substr(0, 200), a.substr(0, 200));
    EXPECT_NE(fitted, FittingName(folder.path, a + "b", 11));
    EXPECT_EQ(FittingName(folder.path, "valley.cali", 11), "valley.cali");
    // A cut never splits a character.
    const std::string wide = std::string(1, 'x') + [] {
        std::string s;
        for (int i = 0; i < 150; ++i)
            s += "\xC3\xA9";
        return s;
    }();
    const std::string cut = FittingName(folder.path, wide, 11);
    const std::string kept = cut.substr(0, cut.size() - 17); // less "-" and 16 hex digits
    EXPECT_EQ(kept.size() % 2, 1u) << kept.size(); // "x" and whole two-byte characters
}

} // namespace
} // namespace carteva

namespace carteva {
namespace {

// Whether a second process can take the lock of `second` (another name of the file whose lock
// this process holds through `first`), as `uid` when not 0: 0 it could not, 1 it could.
int SecondLockTaken(const fs::path &first, const fs::path &second, uid_t uid, bool holdFirst)
{
    FileOps posix;
    std::optional<FileLock> held;
    if (holdFirst)
        held.emplace(posix, first);
    const pid_t child = fork();
    if (child == 0) {
        if (uid != 0 && (setgid(uid) != 0 || setuid(uid) != 0))
            _exit(3);
        try {
            FileOps ops;
            FileLock lock(ops, second, std::chrono::milliseconds(300));
            _exit(lock.Unavailable().empty() ? 1 : 4);
        } catch (const Error &) {
            _exit(0);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every name of one file and every user who may write it share one lock: a symbolic link, a hard
// link in another folder, another user in a shared folder (folder 0777, file 0666, umask 022).
TEST(CalibrationFileFaults, OneLockPerFileWhateverItsNameAndUser)
{
    enum class Other { Symlink, HardLinkElsewhere, AnotherUser };
    const mode_t mask = umask(022);
    for (const Other other : {Other::Symlink, Other::HardLinkElsewhere, Other::AnotherUser}) {
        SCOPED_TRACE(static_cast<int>(other));
        if (other == Other::AnotherUser && geteuid() != 0) {
            std::puts("another user: not root, row skipped");
            continue;
        }
        ScratchFolder folder, elsewhere;
        fs::permissions(folder.path, fs::perms::all);
        fs::permissions(elsewhere.path, fs::perms::all);
        const fs::path path = folder.path / "valley.cali";
        WriteBytes(path, SavedBytes(1, 2, SomePoints(2, 1)));
        fs::permissions(path, fs::perms(0666));
        fs::path second = path;
        uid_t uid = 0;
        if (other == Other::Symlink) {
            second = elsewhere.path / "link.cali";
            fs::create_symlink(path, second);
        } else if (other == Other::HardLinkElsewhere) {
            second = elsewhere.path / "other.cali";
            fs::create_hard_link(path, second);
        } else {
            uid = 65534;
        }
        EXPECT_EQ(SecondLockTaken(path, second, uid, true), 0);
        // Let go, the lock is free for the other name or user.
        EXPECT_EQ(SecondLockTaken(path, second, uid, false), 1);
    }
    umask(mask);
}

// The system keeps no locks there (a network folder): every save says so, and goes on only by
// a rename, which cannot tear the file; a file with other names is not rewritten in place.
class NoLockFileOps : public FileOps
{
public:
    int Lock(int, int) override
    {
        errno = ENOLCK;
        return -1;
    }
};

TEST(CalibrationFileFaults, WithoutLocksSavesOnlyByRename)
{
    for (const bool hardLink : {false, true}) {
        SCOPED_TRACE(hardLink);
        ScratchFolder folder;
        const fs::path path = folder.path / "valley.cali";
        const Bytes old = SavedBytes(1, 2, SomePoints(2, 1));
        WriteBytes(path, old);
        if (hardLink)
            fs::create_hard_link(path, folder.path / "other.cali");
        NoLockFileOps ops;
        CalibrationKeeper keeper(ops);
        std::vector<TCalibPoint> points;
        ASSERT_EQ(keeper.Read(path, points), CalibrationReadResult::Complete);
        EXPECT_NE(keeper.LockFailure().find("No locks available"), std::string::npos);
        points.push_back(SomePoints(1, 5)[0]);
        try {
            const auto result = keeper.Write(path, 1, 2, points);
            EXPECT_FALSE(hardLink);
            EXPECT_NE(result.lockWarning.find("flock: No locks available"), std::string::npos);
            EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, points));
        } catch (const Error &error) {
            EXPECT_TRUE(hardLink) << error.what();
            EXPECT_NE(std::string(error.what()).find("not without the file's lock"),
                      std::string::npos)
                << error.what();
            EXPECT_EQ(ReadBytes(path), old);
        }
    }
}

// Side files of rewrites in place, in a folder that keeps them (no unlink): an emptied one is
// harmless; one that can be neither removed nor emptied stops every save rather than be applied
// over another window's point.
class KeepingFileOps : public FileOps
{
public:
    explicit KeepingFileOps(bool truncates)
        : truncates_(truncates)
    { }
    int Unlink(const char *path) override
    {
        if (std::string_view(path).ends_with(".rewrite")) {
            errno = EPERM;
            return -1;
        }
        return FileOps::Unlink(path);
    }
    int Truncate(int fd, off_t size) override
    {
        struct stat info;
        // Only the side file refuses: the calibration file is rewritten in place as ever.
        if (!truncates_ && size == 0 && FileOps::Fstat(fd, &info) == 0 && info.st_size > 0
            && (info.st_mode & 0777) == 0600) {
            errno = EPERM;
            return -1;
        }
        return FileOps::Truncate(fd, size);
    }

private:
    bool truncates_;
};

TEST(CalibrationFileFaults, SideFilesAFolderKeepsNeverUndoAnotherWindowsSave)
{
    for (const bool truncates : {true, false}) {
        SCOPED_TRACE(truncates);
        ScratchFolder folder;
        const fs::path path = folder.path / "valley.cali";
        const std::vector<TCalibPoint> start = SomePoints(3, 1), more = SomePoints(3, 2);
        WriteBytes(path, SavedBytes(1, 2, start));
        fs::create_hard_link(path, folder.path / "other.cali");
        fs::permissions(path, fs::perms(0644));
        KeepingFileOps opsA(truncates), opsB(truncates);
        CalibrationKeeper a(opsA), b(opsB);
        ScratchFolder data; // the user's, where every name of the file finds its journal
        a.SetJournalFolder(data.path / "journal");
        b.SetJournalFolder(data.path / "journal");
        std::vector<TCalibPoint> pointsA, pointsB;
        a.Read(path, pointsA);
        b.Read(folder.path / "other.cali", pointsB);
        const auto add = [](CalibrationKeeper &keeper, const fs::path &name,
                            std::vector<TCalibPoint> &points, const TCalibPoint &point) {
            keeper.Transact(name, 1, 2, points,
                            [&](std::vector<TCalibPoint> &list) { list.push_back(point); });
        };
        add(a, path, pointsA, more[0]);
        if (truncates) {
            add(b, folder.path / "other.cali", pointsB, more[1]);
            add(a, path, pointsA, more[2]);
            std::vector<TCalibPoint> all = start;
            all.insert(all.end(), {more[0], more[1], more[2]});
            EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, all));
        } else {
            // The side file stays whole: no save may go on, and none undoes the last one.
            EXPECT_THROW(add(b, folder.path / "other.cali", pointsB, more[1]), Error);
            std::vector<TCalibPoint> saved = start;
            saved.push_back(more[0]);
            EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, saved));
            EXPECT_EQ(pointsB.size(), 4u); // its point is kept for a recovery copy
        }
    }
}

// A rewrite cut off that cannot be finished yet (the file may not be opened for writing now) stops
// the save: going on by a rename would have the journal undo it later.
class NoRewriteFileOps : public FileOps
{
public:
    int OpenForRewriting(const char *) override
    {
        errno = EACCES;
        return -1;
    }
};

TEST(CalibrationFileFaults, ARewriteThatCannotBeFinishedYetStopsTheSave)
{
    ScratchFolder folder, data;
    const fs::path path = folder.path / "valley.cali", journals = data.path / "journal";
    const std::vector<TCalibPoint> p = SomePoints(3, 9);
    const Bytes old = SavedBytes(1, 2, {p[0]}), meant = SavedBytes(1, 2, {p[0], p[1]});
    WriteBytes(path, old);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    FileOps posix;
    fs::path side;
    ASSERT_EQ(RewriteJournal::Begin(posix, path, journals, {info.st_dev, info.st_ino}, old, meant,
                                    side),
              RewriteJournal::Begun::Written);
    NoRewriteFileOps refusing;
    CalibrationKeeper keeper(refusing);
    keeper.SetJournalFolder(journals);
    std::vector<TCalibPoint> points {p[0]};
    points.push_back(p[2]);
    EXPECT_THROW(keeper.Write(path, 1, 2, points), Error);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_TRUE(RewriteJournal::Pending(posix, path, journals));
    CalibrationKeeper later;
    later.SetJournalFolder(journals);
    std::vector<TCalibPoint> read;
    later.Read(path, read);
    EXPECT_EQ(ReadBytes(path), meant);
}

// What another writer removed goes to a copy before the write; when that copy fails, nothing is
// written and the window's list is its own again, so that the removed point comes back once the
// other writer puts it back.
TEST(CalibrationFileFaults, FailedSetAsideCopyKeepsTheKnownState)
{
    ScratchFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const std::vector<TCalibPoint> p = SomePoints(3, 7);
    const Bytes ab = SavedBytes(1, 2, {p[0], p[1]});
    WriteBytes(path, ab);
    CalibrationKeeper keeper;
    bool full = true;
    keeper.SetAsideWith([&](const fs::path &, std::span<const std::uint8_t>) -> std::string {
        if (full)
            throw Error("recovered: write: No space left on device");
        return "copy";
    });
    std::vector<TCalibPoint> points;
    keeper.Read(path, points);
    WriteBytes(path, SavedBytes(1, 2, {p[1]})); // another window removes the first point
    const auto add = [&] {
        keeper.Transact(path, 1, 2, points, [&](std::vector<TCalibPoint> &list) {
            list.push_back(p[2]);
        });
    };
    EXPECT_THROW(add(), Error);
    EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, {p[1]}));
    EXPECT_EQ(SavedBytes(1, 2, points), SavedBytes(1, 2, {p[0], p[1], p[2]}));
    WriteBytes(path, ab); // and undoes that
    full = false;
    keeper.Write(path, 1, 2, points);
    EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, {p[0], p[1], p[2]}));
}

// A window that could not read the file (cut short by another writer) saves into it again once
// it is sound, merging what it read.
TEST(CalibrationFileFaults, AWindowTakesUpItsFileAgainOnceItIsSound)
{
    ScratchFolder folder;
    const fs::path path = folder.path / "valley.cali";
    const std::vector<TCalibPoint> p = SomePoints(3, 8);
    Bytes broken = SavedBytes(1, 2, {p[0]});
    broken.push_back(7);
    WriteBytes(path, broken);
    CalibrationKeeper keeper;
    std::vector<TCalibPoint> points;
    EXPECT_EQ(keeper.Read(path, points), CalibrationReadResult::Failed);
    points.push_back(p[1]);
    EXPECT_EQ(keeper.Write(path, 1, 2, points).outcome, CalibrationKeeper::Outcome::NotReplaced);
    WriteBytes(path, SavedBytes(1, 2, {p[0], p[2]}));
    const auto result = keeper.Write(path, 1, 2, points);
    EXPECT_EQ(result.outcome, CalibrationKeeper::Outcome::Merged);
    EXPECT_EQ(ReadBytes(path), SavedBytes(1, 2, {p[0], p[1], p[2]}));
}

} // namespace
} // namespace carteva
