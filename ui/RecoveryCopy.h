// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <QString>

#include <cstdint>
#include <span>

namespace carteva {

// Where the points go when their calibration file cannot be written at all: a file of the same
// bytes in the user's data folder, sub-folder recovered/, named after the calibration file and
// the time of the first failure. One copy per run, rewritten with the points of the moment at
// every later failure, so the newest copy holds every point. Copies are made exclusively, with a
// counter when the name is taken, so that two windows (or two maps of one name) never share one.
class RecoveryCopy
{
public:
    // The copy's path. Throws Error when the copy cannot be written either.
    QString Write(const QString &calibrationFileName, std::int32_t width, std::int32_t height,
                  std::span<const TCalibPoint> points);

    // A new copy of `bytes` beside the others, made for this once (another writer's file or
    // points that a save sets aside). Throws Error.
    static QString Keep(const QString &calibrationFileName, std::span<const std::uint8_t> bytes);

private:
    QString path_;
};

} // namespace carteva
