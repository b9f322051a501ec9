// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationKeeper.h"
#include "calibration/MapChangeReport.h"
#include "ui/RecoveryCopy.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

class QLockFile;
class QWidget;

namespace carteva {

// Where the window's points are kept: the calibration file, through the keeper's rules, else a
// recovery copy, else a copy the user names; it tells the user what happened, and knows when the
// points are only in memory. It also marks the calibration file as open in this window.
class CalibrationStore
{
public:
    // `keeper` is the open map's: the store points its copies and journal at the user's folders.
    explicit CalibrationStore(CalibrationKeeper &keeper);
    ~CalibrationStore();
    CalibrationStore(const CalibrationStore &) = delete;
    CalibrationStore &operator=(const CalibrationStore &) = delete;

    // Takes the lock file beside the calibration file. When another running Carteva holds it,
    // warns and goes on all the same: the lock is only a notice, each save takes the file's own
    // lock and merges. A lock whose process is gone, or that says nothing readable, is taken over
    // (or, where the folder keeps it, passed over) without a word. Recovery copies and the side
    // files of rewrites go to the user's data folder from here on; a save that was cut off is
    // dealt with as the file is read.
    void Claim(QWidget *owner, const QString &calibrationFileName);

    // The lock file Claim takes for that calibration file.
    static QString LockFileName(const QString &calibrationFileName);

    // After the keeper's Read: tells the user of a lock another program holds (the file was read
    // without waiting for it) and of a cut-off save that could not be finished.
    void TellOpening(QWidget *owner, const QString &calibrationFileName);

    // Lets go of the lock, when the window closes.
    void Release();

    // Tells the user what a change of the map did to its file: every failure, merge and conflict.
    // A write that failed keeps `points` (the list as the change left it) in a recovery copy, else
    // offers the user a copy. True when another writer's change came in.
    bool Tell(QWidget *owner, const QString &calibrationFileName, const MapChangeReport &report,
              std::int32_t width, std::int32_t height, std::span<const TCalibPoint> points);
    // The last save could put the points nowhere.
    bool PointsOnlyInMemory() const { return onlyInMemory_; }
    // After a close's save: may the window close? Asks first when some of `points` would be lost:
    // those the calibration file does not hold as it was last read or written.
    bool MayClose(QWidget *owner, std::span<const TCalibPoint> points) const;

    // "X Y latitude longitude", a line per point: the last way out for points nothing could save.
    static void WriteAsText(std::FILE *stream, std::span<const TCalibPoint> points);

private:
    // Says once per run that no lock can be had, and each time where a cut-off save's bytes went.
    void TellLockAndJournal(QWidget *owner, const QString &fileName, const std::string &lockWarning,
                            const std::string &journalCopy);
    void OfferCopy(QWidget *owner, QString text, std::int32_t width, std::int32_t height,
                   std::span<const TCalibPoint> points);

    CalibrationKeeper &keeper_;
    RecoveryCopy recoveryCopy_;
    std::unique_ptr<QLockFile> lock_;
    bool onlyInMemory_ = false;
    // The recovery copy the user was last told about for a file this run leaves alone: each
    // later Save goes there too, without another box.
    QString toldAboutCopy_;
    bool toldNoLock_ = false;
};

} // namespace carteva
