// SPDX-License-Identifier: GPL-2.0-or-later
#include "WindowFixture.h"

#include "ui/ErrorHandler.h"
#include "ui/PictureView.h"
#include "ui/UserSettings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>

namespace carteva::test {

WindowFixture::WindowFixture()
{
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    // Remembered choices go to a folder of the tests' own (Qt reads the variable once), and every
    // test starts without any.
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    UserSettings().clear();
    FirstActivation = true;
    window = std::make_unique<TfrmMain>();
    frmMain = window.get();
}

WindowFixture::~WindowFixture()
{
    window.reset();
    FirstActivation = true;
}

QString WindowFixture::WriteBitmap(const QString &name, int width, int height, QColor fill) const
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    const QString path = Path(name);
    image.save(path, "BMP");
    return path;
}

void WindowFixture::WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray WindowFixture::ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WindowFixture::Start(const std::optional<QString> &bitmap)
{
    platform.fileAnswers.push_back(bitmap);
    // As the window does: failures go to the general error handler.
    Guarded([this] { window->FormActivate(); });
}

void WindowFixture::Close()
{
    QCloseEvent event;
    QCoreApplication::sendEvent(window.get(), &event);
}

QRgb WindowFixture::PixelAt(int x, int y) const
{
    return window->ControlsForTest().Image1->ShownImage().pixel(x, y);
}

QByteArray CalibrationBytes(int width, int height, const std::vector<TCalibPoint> &points)
{
    QByteArray bytes;
    bytes.append(reinterpret_cast<const char *>(&width), 4);
    bytes.append(reinterpret_cast<const char *>(&height), 4);
    for (const TCalibPoint &point : points) {
        const TCalibPoint::Record record = point.ToRecord();
        bytes.append(reinterpret_cast<const char *>(record.data()), record.size());
    }
    return bytes;
}

std::vector<TCalibPoint> ReadCalibrationPoints(const QByteArray &bytes)
{
    std::vector<TCalibPoint> points;
    for (qsizetype at = 8; at + qsizetype(TCalibPoint::RecordSize) <= bytes.size();
         at += qsizetype(TCalibPoint::RecordSize)) {
        TCalibPoint::Record record;
        std::copy_n(bytes.constData() + at, record.size(), record.begin());
        points.push_back(TCalibPoint::FromRecord(record));
    }
    return points;
}

} // namespace carteva::test
