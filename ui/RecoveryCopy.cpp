// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/RecoveryCopy.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "picture/PathCrossing.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>

namespace carteva {

QString RecoveryCopy::Write(const QString &calibrationFileName, std::int32_t width,
                            std::int32_t height, std::span<const TCalibPoint> points)
{
    if (path_.isEmpty()) {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        if (data.isEmpty())
            throw Error("no folder for the user's data");
        const QString folder = data + QStringLiteral("/recovered");
        if (!QDir().mkpath(folder))
            throw Error("cannot create " + folder.toStdString());
        // valley.cali -> valley-20261207-142501.cali: it sorts by time and opens as what it is.
        const QFileInfo original(calibrationFileName);
        const QString stamp
            = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        const QString suffix = original.suffix();
        const QString tail
            = QLatin1Char('-') + stamp + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        // A name near the limit is shortened, or the copy would fail exactly when it is needed.
        const std::string base
            = FittingName(StdPath(folder), StdPath(original.completeBaseName()).native(),
                          StdPath(tail).native().size());
        path_ = folder + QLatin1Char('/') + QtPath(base) + tail;
    }
    WriteCalibrationFile(StdPath(path_), width, height, points);
    return path_;
}

} // namespace carteva
