// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibPoint.h"
#include "support/WindowFixture.h"
#include "ui/TfrmMain.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QtTest>

#include <unistd.h>

using namespace carteva;
using carteva::test::WindowFixture;

namespace {

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kOrange = 0xFFFF8000;

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class PathsAndMediaTest : public QObject
{
    Q_OBJECT
private slots:
    void everyFileOfAMapWorksWhateverItsPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces") << "mapy a trasy"
                                << "  two  spaces .bmp";
        QTest::newRow("accents") << "Žďár nad Sázavou"
                                 << "výlet příští týden.bmp";
        QTest::newRow("CJK, upper-case extension") << "地図"
                                                   << "東京 1.BMP";
        QTest::newRow("outside the basic plane") << "🗺 maps"
                                                 << "🏔.bmp";
        QTest::newRow("shell characters") << "it's \"here\""
                                          << "$HOME & *;?.bmp";
    }

    void everyFileOfAMapWorksWhateverItsPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        WindowFixture f;
        QVERIFY(QDir(f.folder.path()).mkpath(folder));
        const QString bitmap = f.WriteBitmap(folder + "/" + name, 80, 60);
        const QString calibration = bitmap.chopped(3) + "cali";
        WindowFixture::WriteFile(
            calibration, test::CalibrationBytes(80, 60, {TCalibPoint {5, 6, 50.0L, 14.0L}}));
        const QString gpx = f.Path(folder + "/" + name.chopped(4) + " trasa.gpx");
        WindowFixture::WriteFile(gpx, "<gpx><wpt lat='49.5' lon='14.5'/></gpx>");

        f.Start(bitmap);
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.window->Document().Points().size(), std::size_t(1));
        QCOMPARE(f.PixelAt(5, 6), kRed);

        // A second point 60 × 40 pixels and a degree away: the waypoint lands half-way.
        f.window->Document().PointsForTest().push_back(TCalibPoint {65, 46, 49.0L, 15.0L});
        f.platform.fileAnswers.push_back(gpx);
        f.window->ControlsForTest().btOpenGPX->click();
        QTRY_COMPARE(f.PixelAt(35, 26), kOrange);
        QVERIFY(f.platform.messages.empty());

        f.Close();
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(
            WindowFixture::ReadFile(calibration),
            test::CalibrationBytes(
                80, 60, {TCalibPoint {5, 6, 50.0L, 14.0L}, TCalibPoint {65, 46, 49.0L, 15.0L}}));
        // Bitmap, calibration, GPX and the calibration as the run first read it: nothing else.
        QCOMPARE(Entries(f.Path(folder)).size(), 4);
        QVERIFY(QFile::exists(calibration + ".bak"));
    }

    void bitmapOnAReadOnlyMediumShowsAndIsNeverWritten()
    {
        WindowFixture f;
        QVERIFY(QDir(f.folder.path()).mkdir("medium"));
        const QString bitmap = f.WriteBitmap("medium/map.bmp", 30, 20);
        const QString calibration = f.Path("medium/map.cali");
        const QByteArray points
            = test::CalibrationBytes(30, 20, {TCalibPoint {3, 4, 50.0L, 14.0L}});
        WindowFixture::WriteFile(calibration, points);
        const QByteArray bitmapBytes = WindowFixture::ReadFile(bitmap);
        const auto readOnly
            = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QFile::setPermissions(bitmap, readOnly);
        QFile::setPermissions(calibration, readOnly);
        QFile::setPermissions(f.Path("medium"),
                              readOnly | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                  | QFileDevice::ExeOther);

        f.Start(bitmap);
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.PixelAt(3, 4), kRed);
        f.window->Document().PointsForTest().push_back(TCalibPoint {20, 10, 49.0L, 15.0L});
        f.Close();

        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        // The points went to a recovery copy, which the second line names.
        QCOMPARE(f.platform.messages[0].text.section(QLatin1Char('\n'), 0, 0),
                 QString("Cannot save calibration"));
        QCOMPARE(WindowFixture::ReadFile(calibration), points);
        QCOMPARE(WindowFixture::ReadFile(bitmap), bitmapBytes);
        QCOMPARE(Entries(f.Path("medium")), (QStringList {"map.bmp", "map.cali"}));
        QFile::setPermissions(f.Path("medium"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ExeOwner);
    }

    void bitmapInAReadOnlyFolderWithoutCalibrationFile()
    {
        WindowFixture f;
        QVERIFY(QDir(f.folder.path()).mkdir("medium"));
        const QString bitmap = f.WriteBitmap("medium/map.bmp", 30, 20);
        QFile::setPermissions(bitmap, QFileDevice::ReadOwner);
        QFile::setPermissions(f.Path("medium"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);

        f.Start(bitmap);
        f.window->Document().PointsForTest().push_back(TCalibPoint {20, 10, 49.0L, 15.0L});
        f.platform.messages.clear();
        f.Close();

        if (geteuid() == 0) {
            // Root writes into any folder, so the save goes through.
            QVERIFY(f.platform.messages.empty());
            QCOMPARE(Entries(f.Path("medium")), (QStringList {"map.bmp", "map.cali"}));
        } else {
            QCOMPARE(f.platform.messages.size(), std::size_t(1));
            // The points went to a recovery copy, which the second line names.
            QCOMPARE(f.platform.messages[0].text.section(QLatin1Char('\n'), 0, 0),
                     QString("Cannot save calibration"));
            QCOMPARE(Entries(f.Path("medium")), QStringList {"map.bmp"});
        }
        QFile::setPermissions(f.Path("medium"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ExeOwner);
    }
};

QTEST_MAIN(PathsAndMediaTest)
#include "PathsAndMedia_test.moc"
