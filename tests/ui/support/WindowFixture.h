// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "FakePlatform.h"
#include "calibration/CalibPoint.h"
#include "ui/CalibrationDocument.h"
#include "ui/TfrmMain.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace carteva::test {

// A fresh main window per test, with a fake platform and a temporary folder for its files.
struct WindowFixture
{
    WindowFixture();
    ~WindowFixture();

    QString Path(const QString &name) const { return folder.filePath(name); }
    // Writes a 24-bit bitmap of the given size, filled with one colour.
    QString WriteBitmap(const QString &name, int width, int height,
                        QColor fill = QColor(200, 220, 240)) const;
    static void WriteFile(const QString &path, const QByteArray &bytes);
    static QByteArray ReadFile(const QString &path);
    // Runs the start-up with the given answer for the bitmap dialog (nothing = Cancel).
    void Start(const std::optional<QString> &bitmap);
    // Asks the window to close, as the close box does.
    void Close();
    QRgb PixelAt(int x, int y) const;

    QTemporaryDir folder;
    // The user's data folder, where recovery copies go.
    QTemporaryDir dataHome;
    FakePlatform platform;
    std::unique_ptr<TfrmMain> window;
};

// 8 + 40 × n bytes: the header and the records of `points`, gap bytes as given.
QByteArray CalibrationBytes(int width, int height, const std::vector<TCalibPoint> &points);
// The records after the header, whole ones only.
std::vector<TCalibPoint> ReadCalibrationPoints(const QByteArray &bytes);

} // namespace carteva::test
