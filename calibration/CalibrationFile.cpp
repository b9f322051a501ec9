#include "calibration/CalibrationFile.h"

#include "calibration/Errors.h"
#include "calibration/FileOps.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <system_error>
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
constexpr mode_t WriteBits = 0222;

[[noreturn]] void Fail(const std::string &reason, int error)
{
    throw Error(reason + ": " + std::strerror(error));
}

// Closes the descriptor when it goes out of scope, unless it was closed on purpose first (a close
// whose result matters, such as the last one of a written file).
class Descriptor
{
public:
    Descriptor(FileOps &ops, int fd)
        : m_ops(ops)
        , m_fd(fd)
    { }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            m_ops.Close(m_fd);
    }

    int Get() const { return m_fd; }
    int Close() { return m_ops.Close(std::exchange(m_fd, -1)); }

private:
    FileOps &m_ops;
    int m_fd;
};

struct ReadOutcome
{
    std::size_t count = 0;
    bool failed = false;
};

// Reads until `size` bytes or the end of the file; a short count without failure means the end.
ReadOutcome ReadFully(FileOps &ops, int fd, std::uint8_t *buffer, std::size_t size)
{
    ReadOutcome outcome;
    while (outcome.count < size) {
        const ssize_t got = ops.Read(fd, buffer + outcome.count, size - outcome.count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            outcome.failed = true;
            break;
        }
        if (got == 0)
            break;
        outcome.count += static_cast<std::size_t>(got);
    }
    return outcome;
}

bool WriteAll(FileOps &ops, int fd, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ops.Write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void AppendInt32(std::vector<std::uint8_t> &bytes, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

// Saving through a symbolic link must update the file it points at, not replace the link.
fs::path FollowLinks(fs::path path)
{
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!fs::is_symlink(path, error))
            return path;
        const fs::path link = fs::read_symlink(path, error);
        if (error)
            throw Error("cannot follow link: " + error.message());
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    throw Error("cannot follow link: too many levels");
}

std::string TemporaryName(const fs::path &folder, const fs::path &target)
{
    static constexpr char Letters[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Long names are cut so that the temporary one stays within the file system's name limit.
    const std::string name = target.filename().string().substr(0, 200);
    std::random_device random;
    std::string suffix(6, ' ');
    for (char &c : suffix)
        c = Letters[random() % (sizeof Letters - 1)];
    return (folder / ("." + name + "." + suffix)).string();
}

// The temporary file of a save: closed and removed again unless it was renamed into place.
class TemporaryFile
{
public:
    TemporaryFile(FileOps &ops, int fd, std::string path)
        : m_ops(ops)
        , m_file(ops, fd)
        , m_path(std::move(path))
    { }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        if (!m_renamed) {
            if (m_file.Get() >= 0)
                m_file.Close();
            m_ops.Unlink(m_path.c_str());
        }
    }

    int Fd() const { return m_file.Get(); }
    const std::string &Path() const { return m_path; }
    int Close() { return m_file.Close(); }
    void Renamed() { m_renamed = true; }

private:
    FileOps &m_ops;
    Descriptor m_file;
    std::string m_path;
    bool m_renamed = false;
};

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that a failure at any
// step leaves the old file as it was. `modeOfNewFile` applies when there is no file yet; an
// existing file passes its own mode on.
void ReplaceFile(FileOps &ops, const fs::path &path, const std::vector<std::uint8_t> &bytes,
                 std::optional<mode_t> modeOfNewFile)
{
    const fs::path target = FollowLinks(path);
    std::optional<mode_t> mode = modeOfNewFile;
    struct stat existing;
    if (ops.Stat(target.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            throw Error("not a regular file");
        // Root may write anything, so the mode bits are checked as well as access().
        if ((existing.st_mode & WriteBits) == 0 || ops.AccessForWriting(target.c_str()) != 0)
            throw Error("the file is read-only");
        mode = existing.st_mode & ModeBits;
    } else if (errno != ENOENT) {
        Fail("cannot inspect the file", errno);
    }

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporaryPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporaryPath = TemporaryName(folder, target);
        fd = ops.CreateExclusive(temporaryPath.c_str(), 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        Fail("cannot create a temporary file", errno);

    TemporaryFile temporary(ops, fd, temporaryPath);
    if (!WriteAll(ops, temporary.Fd(), bytes.data(), bytes.size()))
        Fail("cannot write", errno);
    if (mode && ops.Fchmod(temporary.Fd(), *mode) != 0)
        Fail("cannot set the file mode", errno);
    if (ops.Fsync(temporary.Fd()) != 0)
        Fail("cannot flush", errno);
    if (temporary.Close() != 0)
        Fail("cannot close", errno);
    if (ops.Rename(temporary.Path().c_str(), target.c_str()) != 0)
        Fail("cannot replace the file", errno);
    temporary.Renamed();

    // Without this the rename itself may not survive a power cut. The new file is in place by now,
    // so a failure here can no longer keep the old one; it is still reported.
    const int folderFd = ops.OpenFolder(folder.c_str());
    if (folderFd < 0)
        Fail("cannot open the folder to flush it", errno);
    Descriptor folderFile(ops, folderFd);
    if (ops.Fsync(folderFd) != 0)
        Fail("cannot flush the folder", errno);
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
                                          FileOps &ops)
{
    const int fd = ops.OpenForReading(path.c_str());
    if (fd < 0)
        return errno == ENOENT ? CalibrationReadResult::NoSuchFile : CalibrationReadResult::Failed;
    Descriptor file(ops, fd);

    struct stat info;
    if (ops.Fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return CalibrationReadResult::Failed;

    // Width and height are not needed to read the points.
    std::uint8_t header[HeaderSize];
    if (ReadFully(ops, fd, header, HeaderSize).count != HeaderSize)
        return CalibrationReadResult::Failed;

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
        if (outcome.failed || outcome.count % RecordSize != 0)
            return CalibrationReadResult::Failed;
        if (outcome.count < block.size())
            return CalibrationReadResult::Complete;
    }
}

CalibrationReadResult ReadCalibrationFile(const fs::path &path, std::vector<TCalibPoint> &points)
{
    FileOps posix;
    return ReadCalibrationFile(path, points, posix);
}

void WriteCalibrationFile(const fs::path &path, std::int32_t width, std::int32_t height,
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
    ReplaceFile(ops, path, bytes, std::nullopt);
}

void WriteCalibrationFile(const fs::path &path, std::int32_t width, std::int32_t height,
                          std::span<const TCalibPoint> points)
{
    FileOps posix;
    WriteCalibrationFile(path, width, height, points, posix);
}

void BackupCalibrationFile(const fs::path &path, FileOps &ops)
{
    const int fd = ops.OpenForReading(path.c_str());
    if (fd < 0)
        Fail("cannot open the file to back up", errno);
    Descriptor file(ops, fd);
    struct stat info;
    if (ops.Fstat(fd, &info) != 0)
        Fail("cannot inspect the file to back up", errno);
    if (!S_ISREG(info.st_mode))
        throw Error("not a regular file");

    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
    for (;;) {
        bytes.resize(size + RecordsPerBlock * RecordSize);
        const ReadOutcome outcome = ReadFully(ops, fd, bytes.data() + size, bytes.size() - size);
        if (outcome.failed)
            Fail("cannot read the file to back up", errno);
        size += outcome.count;
        if (size < bytes.size())
            break;
    }
    bytes.resize(size);

    fs::path backup = path;
    backup += ".bak";
    // A new backup is no more readable than the file it copies, and stays writable for its owner so
    // that the next backup can replace it.
    ReplaceFile(ops, backup, bytes, (info.st_mode & ModeBits) | S_IWUSR);
}

void BackupCalibrationFile(const fs::path &path)
{
    FileOps posix;
    BackupCalibrationFile(path, posix);
}

} // namespace carteva
