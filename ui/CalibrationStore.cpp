// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/CalibrationStore.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "calibration/NumberText.h"
#include "picture/PathCrossing.h"
#include "ui/CalibrationLog.h"
#include "ui/ErrorHandler.h"
#include "ui/Platform.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <exception>
#include <set>
#include <span>

namespace carteva {

namespace {

// The calibration file's own warning; what a merge or the lock tells is the program's notice.
const QString Caption = QStringLiteral("Error");

QString Counted(std::size_t count, const char *one, const char *many)
{
    return QString::number(count) + QLatin1Char(' ') + QString::fromLatin1(count == 1 ? one : many);
}

QString CurrentFailure()
{
    return ErrorHandler::MessageOf(std::current_exception());
}

QString PixelsOf(const std::vector<MergeConflict> &conflicts)
{
    // Enough to find them; the recovery copy holds them all.
    constexpr std::size_t Named = 10;
    QStringList pixels;
    for (std::size_t i = 0; i < std::min(conflicts.size(), Named); ++i)
        pixels << QStringLiteral("%1 x %2").arg(conflicts[i].X).arg(conflicts[i].Y);
    QString text = pixels.join(QStringLiteral(", "));
    if (conflicts.size() > Named)
        text += QStringLiteral(" and %1 more").arg(conflicts.size() - Named);
    return text;
}

// One box's text for what another writer did to the file.
QString MergeText(const QString &fileName, const CalibrationKeeper::WriteResult &result)
{
    if (!result.brokenFile.empty() && result.brokenCopy.empty())
        return QStringLiteral("%1 was changed outside this window into a file that cannot be "
                              "merged (%2), so it is left as it is.")
            .arg(fileName, QString::fromStdString(result.brokenFile));
    if (!result.brokenFile.empty())
        return QStringLiteral("%1 was changed outside this window into a file that cannot be "
                              "merged (%2).\nThat file was kept unchanged in %3; this window's "
                              "points take its place.")
            .arg(fileName, QString::fromStdString(result.brokenFile),
                 QString::fromStdString(result.brokenCopy));
    QString text = QStringLiteral("%1 was changed outside this window.").arg(fileName);
    if (result.fromOtherSide > 0)
        text += QStringLiteral("\n%1 came from there and joined this window's points.")
                    .arg(Counted(result.fromOtherSide, "point", "points"));
    if (result.removedByOtherSide > 0)
        text += QStringLiteral("\n%1 removed there went here too.")
                    .arg(Counted(result.removedByOtherSide, "point", "points"));
    if (!result.removedCopy.empty())
        text += QStringLiteral("\nThe removed points were kept in %1.")
                    .arg(QString::fromStdString(result.removedCopy));
    if (!result.conflicts.empty())
        text += QStringLiteral("\nChanged in both places, this window's version kept: %1.")
                    .arg(PixelsOf(result.conflicts));
    if (!result.otherVersionsCopy.empty())
        text += QStringLiteral("\nThe other versions were kept in %1.")
                    .arg(QString::fromStdString(result.otherVersionsCopy));
    return text;
}

QString JournalText(const QString &fileName, const std::string &copy)
{
    return QStringLiteral("A save of %1 was cut off, and the file has changed since, so it was "
                          "not finished: the file is left as it is.\nWhat that save meant to "
                          "write was kept in %2.")
        .arg(fileName, QString::fromStdString(copy));
}

// Points whose very record the file does not hold (each record of the file answers for one).
std::size_t InNoFile(std::span<const TCalibPoint> points, std::span<const TCalibPoint> file)
{
    std::multiset<TCalibPoint::Record> held;
    for (const TCalibPoint &point : file)
        held.insert(point.ToRecord());
    std::size_t count = 0;
    for (const TCalibPoint &point : points) {
        const auto found = held.find(point.ToRecord());
        if (found == held.end())
            ++count;
        else
            held.erase(found);
    }
    return count;
}

std::string Utf8(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())).toStdString();
}

} // namespace

CalibrationStore::CalibrationStore(CalibrationKeeper &keeper)
    : keeper_(keeper)
{ }
CalibrationStore::~CalibrationStore() = default;

void CalibrationStore::Claim(QWidget *owner, const QString &calibrationFileName)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty())
        keeper_.SetJournalFolder(StdPath(data + QStringLiteral("/journal")));
    keeper_.SetAsideWith([](const std::filesystem::path &calibration,
                            std::span<const std::uint8_t> bytes) {
        return RecoveryCopy::Keep(QtPath(calibration), bytes).toStdString();
    });

    lock_ = std::make_unique<QLockFile>(LockFileName(calibrationFileName));
    // A window stays open for days without touching its lock: only a lock whose process is gone
    // is stale.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0))
        return;
    qint64 pid = 0;
    QString host, application;
    // Its process is gone, or nothing can be read from it (cut short, or not ours).
    const auto stale = [&] {
        return !lock_->getLockInfo(&pid, &host, &application) || pid <= 0
            || (host == QSysInfo::machineHostName() && ::kill(pid, 0) != 0 && errno == ESRCH);
    };
    if (lock_->error() == QLockFile::LockFailedError && stale()) {
        // Nothing to tell the user about, also when the folder keeps the stale lock.
        lock_->removeStaleLockFile();
        if (!lock_->tryLock(0))
            qCWarning(lcCalibration, "A stale lock of %s cannot be taken over",
                      qUtf8Printable(calibrationFileName));
        return;
    }
    if (lock_->error() != QLockFile::LockFailedError || stale()) {
        // A folder where no lock can be made (read-only, say) still has its file read and saved;
        // the lock is only a notice, saves take the file's own lock.
        qCWarning(lcCalibration, "No lock for %s", qUtf8Printable(calibrationFileName));
        return;
    }
    Platform::Current().ShowMessage(
        owner,
        QStringLiteral("%1 is open in another Carteva window (process %2 on %3).\n"
                       "It opens here as well: the points saved in either window are merged "
                       "into the file.")
            .arg(calibrationFileName, QString::number(pid), host),
        ErrorHandler::OwnCaption(), QMessageBox::Information);
}

QString CalibrationStore::LockFileName(const QString &calibrationFileName)
{
    const std::filesystem::path file = StdPath(calibrationFileName);
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    // Room for QLockFile's own ".rmlock" beside the lock, which it makes to take a stale one over.
    return QtPath(folder / (FittingName(folder, file.filename().string(), 12) + ".lock"));
}

void CalibrationStore::Release()
{
    lock_.reset();
}

bool CalibrationStore::Tell(QWidget *owner, const QString &fileName, const MapChangeReport &report,
                            std::int32_t width, std::int32_t height,
                            std::span<const TCalibPoint> points)
{
    const CalibrationKeeper::WriteResult &result = *report.Write;
    QString leftAlone, why;
    if (report.Failure) {
        why = QString::fromStdString(*report.Failure);
        qCWarning(lcCalibration, "Cannot save calibration: %s", qUtf8Printable(why));
        TellLockAndJournal(owner, fileName, result.lockWarning, result.journalCopy);
    } else {
        if (!keeper_.RecoveryNote().empty())
            qCWarning(lcCalibration, "%s", keeper_.RecoveryNote().c_str());
        // The file is in place; only its folder may not have reached the disk yet.
        if (!keeper_.WriteWarning().empty())
            qCWarning(lcCalibration, "Calibration saved, but: %s", keeper_.WriteWarning().c_str());
        TellLockAndJournal(owner, fileName, result.lockWarning, result.journalCopy);
        switch (result.outcome) {
        case CalibrationKeeper::Outcome::Written:
        case CalibrationKeeper::Outcome::Untouched:
            onlyInMemory_ = false;
            toldAboutCopy_.clear();
            return false;
        case CalibrationKeeper::Outcome::Merged: {
            onlyInMemory_ = false;
            toldAboutCopy_.clear();
            const QString text = MergeText(fileName, result);
            qCInfo(lcCalibration, "%s", qUtf8Printable(text));
            // Nothing is lost when nothing was overruled or set aside broken.
            const bool overruled = !result.conflicts.empty() || !result.brokenFile.empty();
            Platform::Current().ShowMessage(
                owner, text, ErrorHandler::OwnCaption(),
                overruled ? QMessageBox::Warning : QMessageBox::Information);
            return report.CameIn;
        }
        case CalibrationKeeper::Outcome::NotReplaced:
            qCWarning(lcCalibration, "Cannot save calibration: %s", result.reason.c_str());
            leftAlone
                = QStringLiteral("%1 could not be read, so it is left as it is.").arg(fileName);
            why = QString::fromStdString(result.reason);
            break;
        }
    }

    // What another writer did is told also when the write then failed.
    const CalibrationKeeper::WriteResult &merge = result;
    const bool cameIn = report.CameIn;
    QString text = QStringLiteral("Cannot save calibration");
    if (!leftAlone.isEmpty())
        text += QLatin1Char('\n') + leftAlone;
    if (!why.isEmpty())
        text += QLatin1Char('\n') + why;
    if (merge.outcome == CalibrationKeeper::Outcome::Merged)
        text += QLatin1Char('\n') + MergeText(fileName, merge);
    try {
        const QString copy = recoveryCopy_.Write(fileName, width, height, points);
        onlyInMemory_ = false;
        if (!leftAlone.isEmpty() && copy == toldAboutCopy_)
            return cameIn;
        toldAboutCopy_ = leftAlone.isEmpty() ? QString() : copy;
        text += QStringLiteral("\nThe points were kept in %1.").arg(copy);
        Platform::Current().ShowMessage(owner, text, Caption, QMessageBox::Warning);
        return cameIn;
    } catch (...) {
        qCWarning(lcCalibration, "Cannot keep the points in a recovery copy either: %s",
                  qUtf8Printable(CurrentFailure()));
    }
    onlyInMemory_ = true;
    toldAboutCopy_.clear();
    OfferCopy(owner, text, width, height, points);
    return cameIn;
}

void CalibrationStore::TellLockAndJournal(QWidget *owner, const QString &fileName,
                                          const std::string &lockWarning,
                                          const std::string &journalCopy)
{
    QStringList lines;
    if (!lockWarning.empty() && !toldNoLock_) {
        toldNoLock_ = true;
        lines << QStringLiteral("%1 cannot be locked (%2).\nIt is still saved, each time as a "
                                "whole new file, never rewritten in place.")
                     .arg(fileName, QString::fromStdString(lockWarning));
    }
    if (!journalCopy.empty())
        lines << JournalText(fileName, journalCopy);
    if (lines.isEmpty())
        return;
    const QString text = lines.join(QLatin1Char('\n'));
    qCWarning(lcCalibration, "%s", qUtf8Printable(text));
    Platform::Current().ShowMessage(owner, text, ErrorHandler::OwnCaption(), QMessageBox::Warning);
}

void CalibrationStore::TellOpening(QWidget *owner, const QString &fileName)
{
    QStringList lines;
    if (!keeper_.LockFailure().empty()) {
        // The reason names the file too; once is enough.
        QString reason = QString::fromStdString(keeper_.LockFailure());
        const QString prefix = fileName + QStringLiteral(": ");
        if (reason.startsWith(prefix))
            reason.remove(0, prefix.size());
        lines << QStringLiteral("%1 was read without its lock: %2.").arg(fileName, reason);
        // Said now; the saves need not say it again.
        toldNoLock_ = keeper_.LockUnavailable();
    }
    if (!keeper_.JournalCopy().empty())
        lines << JournalText(fileName, keeper_.JournalCopy());
    if (!keeper_.RecoveryNote().empty())
        qCWarning(lcCalibration, "%s", keeper_.RecoveryNote().c_str());
    if (lines.isEmpty())
        return;
    const QString text = lines.join(QLatin1Char('\n'));
    qCWarning(lcCalibration, "%s", qUtf8Printable(text));
    Platform::Current().ShowMessage(owner, text, ErrorHandler::OwnCaption(), QMessageBox::Warning);
}

void CalibrationStore::OfferCopy(QWidget *owner, QString text, std::int32_t width,
                                 std::int32_t height, std::span<const TCalibPoint> points)
{
    const QString saveCopy = QStringLiteral("Save a copy as\u2026");
    for (;;) {
        const int answer = Platform::Current().Ask(
            owner, text + QStringLiteral("\nThe points are only in memory."), Caption,
            QMessageBox::Warning, {QStringLiteral("OK"), saveCopy});
        if (answer != 1)
            return;
        QFileDialog dialog(owner, saveCopy);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const std::optional<QString> chosen = Platform::Current().RunFileDialog(dialog);
        if (!chosen)
            continue;
        try {
            WriteCalibrationFile(StdPath(*chosen), width, height, points);
            onlyInMemory_ = false;
            return;
        } catch (...) {
            const QString failure = CurrentFailure();
            qCWarning(lcCalibration, "Cannot save a copy: %s", qUtf8Printable(failure));
            text = QStringLiteral("Cannot save calibration\n") + failure;
        }
    }
}

bool CalibrationStore::MayClose(QWidget *owner, std::span<const TCalibPoint> points) const
{
    if (!onlyInMemory_)
        return true;
    const std::size_t count = InNoFile(points, keeper_.FileHolds());
    if (count == 0)
        return true;
    const int answer = Platform::Current().Ask(
        owner, QStringLiteral("Close and lose %1?").arg(Counted(count, "point", "points")),
        ErrorHandler::OwnCaption(), QMessageBox::Warning,
        {QStringLiteral("Close"), QStringLiteral("Cancel")});
    return answer == 0;
}

void CalibrationStore::WriteAsText(std::FILE *stream, std::span<const TCalibPoint> points)
{
    for (const TCalibPoint &point : points) {
        try {
            std::fprintf(stream, "%s %s %s %s\n", Utf8(FormatInteger(point.X)).c_str(),
                         Utf8(FormatInteger(point.Y)).c_str(),
                         Utf8(FormatCoordinate(7, point.Lat)).c_str(),
                         Utf8(FormatCoordinate(7, point.Lon)).c_str());
        } catch (...) {
            std::fprintf(stream, "%d %d ? ?\n", point.X, point.Y); // a value no text can show
        }
    }
    std::fflush(stream);
}

} // namespace carteva
