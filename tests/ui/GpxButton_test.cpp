// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibPoint.h"
#include "calibration/FileOps.h"
#include "support/WindowFixture.h"
#include "ui/GpxOverlayLoader.h"
#include "ui/OpenGpxDialog.h"
#include "ui/PictureView.h"
#include "ui/TfrmMain.h"
#include "ui/UserSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QtTest>

using namespace carteva;
using carteva::test::WindowFixture;

namespace {

constexpr QRgb kOrange = 0xFFFF8000;
const QRgb kPaper = QColor(200, 220, 240).rgb();

QByteArray Gpx(const QByteArray &waypoints)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\">\n" + waypoints
        + "\n</gpx>\n";
}

// Every pixel differs from its neighbours; the palette runs through reds and oranges.
QImage PatternedPicture(bool palette)
{
    QImage image(300, 200, QImage::Format_Indexed8);
    image.setColorCount(256);
    for (int i = 0; i < 256; ++i)
        image.setColor(i, qRgb(i, (i * 5) & 0xFF, (i * 11) & 0xFF));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            image.setPixel(x, y, uint(x * 7 + y * 3) & 0xFF);
    return palette ? image : image.convertToFormat(QImage::Format_RGB32);
}

// A started window on a 300 × 200 bitmap calibrated by two points: (100,100) at 50 N 14 E and
// (300,400) at 49 N 15 E, so 1/200 degree of longitude is one pixel in X.
struct Calibrated : WindowFixture
{
    explicit Calibrated(int points = 2, const QImage &picture = {})
    {
        if (!picture.isNull())
            picture.save(Path("map.bmp"), "BMP");
        Start(picture.isNull() ? WriteBitmap("map.bmp", 300, 200) : Path("map.bmp"));
        const char *rows[][4] = {{"100", "100", "50", "14"}, {"300", "400", "49", "15"}};
        for (int i = 0; i < points; ++i)
            SavePoint(rows[i]);
        platform.messages.clear();
    }
    void SavePoint(const char *const (&row)[4])
    {
        window->ControlsForTest().edX->setText(row[0]);
        window->ControlsForTest().edY->setText(row[1]);
        window->ControlsForTest().edLat->setText(row[2]);
        window->ControlsForTest().edLon->setText(row[3]);
        window->ControlsForTest().btSave->click();
    }
    QString WriteGpx(const QString &name, const QByteArray &content)
    {
        WriteFile(Path(name), content);
        return Path(name);
    }
    GpxOverlayLoader &Loader() const
    {
        return *window->findChild<GpxOverlayLoader *>("GpxOverlayLoader");
    }
    // Presses GPX and waits for the load to end.
    void Overlay(const std::optional<QString> &file)
    {
        platform.fileAnswers.push_back(file);
        window->ControlsForTest().btOpenGPX->click();
        QVERIFY(QTest::qWaitFor([this] { return !Loader().Busy(); }, 20000));
    }
};

// A slow medium: every read waits a while.
class SlowReads : public FileOps
{
public:
    ssize_t Read(int fd, void *buffer, std::size_t size) override
    {
        QThread::msleep(300);
        return FileOps::Read(fd, buffer, size);
    }
};

// Three waypoints on the river of pixels (120,130), (140,160) and (160,40); the points of
// Calibrated, then two that lie on the same mapping: (160,40) and (120,130), under waypoints.
const QByteArray kRiver = Gpx(R"(<wpt lat="49.9" lon="14.1"/><wpt lat="49.8" lon="14.2"/>
    <wpt lat="50.2" lon="14.3"/>)");
const char *const kLaterPoints[][4]
    = {{"160", "40", "50.2", "14.3"}, {"120", "130", "49.9", "14.1"}};

} // namespace

class GpxButtonTest : public QObject
{
    Q_OBJECT
private slots:
    void waypointsArePaintedOrange()
    {
        Calibrated f;
        const QString file = f.WriteGpx("a.gpx", Gpx(R"(<wpt lat="49.5" lon="14.5"><name>x</name></wpt>
            <wpt lat="49.9" lon="14.1"/><trk><trkseg><trkpt lat="49.8" lon="14.2"/></trkseg></trk>)"));
        QVERIFY(!f.Loader().DrawTracksAndRoutes()->isChecked());
        f.Overlay(file);
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.platform.dialogTitles.last(), QString("Open GPX"));
        QCOMPARE(f.PixelAt(200, 250 - 100), kPaper); // outside: (200, 250) is below the picture
        QCOMPARE(f.PixelAt(120, 130), kOrange);
        QCOMPARE(f.PixelAt(140, 160), kPaper); // track points are not waypoints
        QCOMPARE(f.window->OverlayCountForTest(), 1u);
        // Said without a box: above the picture and in the readout's tooltip.
        auto *notice = f.window->findChild<QLabel *>("UndrawnLinesNotice");
        QVERIFY(notice && !notice->isHidden());
        QVERIFY(notice->text().contains("\"Draw tracks and routes\""));
        QCOMPARE(f.window->ControlsForTest().stCurrentPos->toolTip(), notice->text());

        // With "Draw tracks and routes" on, the track is drawn too: here its one point.
        f.Loader().DrawTracksAndRoutes()->setChecked(true);
        QVERIFY(notice->isHidden());
        QVERIFY(f.window->ControlsForTest().stCurrentPos->toolTip().isEmpty());
        f.Overlay(file);
        QCOMPARE(f.PixelAt(140, 160), kOrange);
        f.Loader().DrawTracksAndRoutes()->setChecked(false);
        f.Overlay(file); // once a run
        QVERIFY(notice->isHidden());
    }

    void fileWithNothingOnThePictureSaysHowManyLieOutside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("lines");
        QTest::addColumn<QString>("said"); // empty: the notice line is hidden
        const QByteArray outside = R"(<wpt lat="48" lon="16"/>)";
        const QByteArray track
            = R"(<trk><trkseg><trkpt lat="51" lon="13"/><trkpt lat="51" lon="12"/></trkseg></trk>)";
        QTest::newRow("two waypoints beyond two edges")
            << Gpx(outside + R"(<wpt lat="51" lon="13"/>)") << false
            << "All points of this file lie outside the picture: 2 waypoints.";
        QTest::newRow("waypoint and drawn track outside")
            << Gpx(outside + track) << true
            << "All points of this file lie outside the picture: 1 waypoint and 2 track and "
               "route points.";
        QTest::newRow("one waypoint inside, after a file outside")
            << Gpx(outside + R"(<wpt lat="49.9" lon="14.1"/>)") << false << "";
    }
    void fileWithNothingOnThePictureSaysHowManyLieOutside()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, lines);
        QFETCH(QString, said);
        Calibrated f;
        f.Loader().DrawTracksAndRoutes()->setChecked(lines);
        auto *notice = f.window->findChild<QLabel *>("UndrawnLinesNotice");
        if (said.isEmpty()) {
            f.Overlay(f.WriteGpx("out.gpx", Gpx(R"(<wpt lat="48" lon="16"/>)")));
            QVERIFY(!notice->isHidden());
        }
        f.Overlay(f.WriteGpx("a.gpx", content));
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(notice->isHidden(), said.isEmpty());
        if (!said.isEmpty())
            QCOMPARE(notice->text(), said);
    }

    void cancelChangesNothing()
    {
        Calibrated f;
        const QImage before = f.window->ControlsForTest().Image1->ShownImage();
        f.Overlay(std::nullopt);
        QCOMPARE(f.window->OverlayCountForTest(), 0u);
        QCOMPARE(f.window->ControlsForTest().Image1->ShownImage(), before);
        QVERIFY(f.platform.messages.empty());
    }

    void cancelStopsTheLoadAndPaintsNothing()
    {
        Calibrated f;
        QByteArray waypoints;
        while (waypoints.size() < 3 << 20)
            waypoints += "<wpt lat=\"49.9\" lon=\"14.1\"/>\n";
        const QString file = f.WriteGpx("slow.gpx", Gpx(waypoints));
        SlowReads slow;
        f.Loader().UseFileOps(slow);
        const QImage before = f.window->ControlsForTest().Image1->ShownImage();
        f.platform.fileAnswers.push_back(file);
        f.window->ControlsForTest().btOpenGPX->click();
        QVERIFY(f.Loader().Busy());
        QProgressDialog *progress = nullptr;
        QTRY_VERIFY((progress = f.window->findChild<QProgressDialog *>("GpxProgress"))
                    && progress->isVisible());
        QTRY_VERIFY(progress->labelText().startsWith("Reading slow.gpx: 1.0 of 3."));
        progress->findChild<QPushButton *>()->click();
        QTRY_VERIFY(!f.Loader().Busy());
        QCOMPARE(f.window->OverlayCountForTest(), 0u);
        QCOMPARE(f.window->ControlsForTest().Image1->ShownImage(), before);
        QVERIFY(f.platform.messages.empty());
    }

    void aSecondFileAddsItsPixels()
    {
        Calibrated f;
        f.Overlay(f.WriteGpx("a.gpx", Gpx(R"(<wpt lat="49.9" lon="14.1"/>)")));
        f.Overlay(f.WriteGpx("b.gpx", Gpx(R"(<wpt lat="49.8" lon="14.2"/>)")));
        QCOMPARE(f.PixelAt(120, 130), kOrange);
        QCOMPARE(f.PixelAt(140, 160), kOrange);
    }

    void brokenFileKeepsDocumentAndPicture()
    {
        Calibrated f;
        f.Overlay(f.WriteGpx("a.gpx", Gpx(R"(<wpt lat="49.9" lon="14.1"/>)")));
        QCOMPARE(f.window->OverlayCountForTest(), 1u);
        const QImage before = f.window->ControlsForTest().Image1->ShownImage();
        f.Overlay(f.WriteGpx("bad.gpx", "<gpx>\n<wpt lat=\"49.8\" lon=\"14.2\">\n</gpx>\n"));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        const QStringList lines = f.platform.messages[0].text.split("\r\n");
        QCOMPARE(lines.size(), 3);
        QVERIFY(!lines[0].isEmpty());
        QCOMPARE(lines[1], QString("Line: 3"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(f.window->OverlayCountForTest(), 1u);
        QCOMPARE(f.window->ControlsForTest().Image1->ShownImage(), before);
    }

    void unmappableWaypointsWarnOnceAndPaintNothing()
    {
        Calibrated f(1);
        f.Overlay(
            f.WriteGpx("a.gpx", Gpx(R"(<wpt lat="49.9" lon="14.1"/><wpt lat="49.8" lon="14.2"/>
            <wpt lat="49.7" lon="14.3"/>)")));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, QString("Incorrect calibration or calculation"));
        QCOMPARE(f.platform.messages[0].caption, QString("Error"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Warning);
        QCOMPARE(f.PixelAt(0, 0), kPaper);
    }

    void floatingPointErrorEndsTheDrawingKeepingEarlierPixels()
    {
        Calibrated f;
        // A third point with the second point's longitude: near it, those two are the pair, and
        // the division by their longitude difference fails.
        f.window->ControlsForTest().edX->setText("250");
        f.window->ControlsForTest().edY->setText("190");
        f.window->ControlsForTest().edLat->setText("40");
        f.window->ControlsForTest().edLon->setText("15");
        f.window->ControlsForTest().btSave->click();
        f.platform.messages.clear();
        f.Overlay(f.WriteGpx("a.gpx", Gpx(R"(<wpt lat="49.9" lon="14.1"/><wpt lat="40" lon="15.1"/>
            <wpt lat="49.8" lon="14.2"/>)")));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, QString("Floating point division by zero."));
        QCOMPARE(f.PixelAt(120, 130), kOrange);
        QCOMPARE(f.PixelAt(140, 160), kPaper);
    }

    void repaintedPictureLooksPaintedFromScratch_data()
    {
        QTest::addColumn<bool>("palette");
        QTest::addColumn<QList<int>>("removed"); // indices into Points, highest first
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("twoFiles");
        QTest::newRow("the point over a waypoint removed")
            << false << QList<int> {3} << false << false;
        QTest::newRow("the overlay's pair removed, no warning")
            << false << QList {2, 1} << false << false;
        QTest::newRow("waypoints cleared, then a point removed")
            << false << QList {0} << true << false;
        QTest::newRow("palette, the point over a waypoint removed")
            << true << QList {3} << false << false;
        QTest::newRow("palette, waypoints cleared") << true << QList<int> {} << true << false;
        QTest::newRow("two files, a point removed: both drawn")
            << false << QList<int> {3} << false << true;
        QTest::newRow("two files cleared") << false << QList<int> {3} << true << true;
    }
    void repaintedPictureLooksPaintedFromScratch()
    {
        QFETCH(bool, palette);
        QFETCH(QList<int>, removed);
        QFETCH(bool, cleared);
        QFETCH(bool, twoFiles);
        // A waypoint at (110, 115), clear of the marks.
        const QByteArray second = Gpx(R"(<wpt lat="49.95" lon="14.05"/>)");
        const QImage picture = PatternedPicture(palette);
        QImage shown;
        std::vector<TCalibPoint> points;
        {
            Calibrated f(2, picture);
            f.Overlay(f.WriteGpx("river.gpx", kRiver));
            if (twoFiles)
                f.Overlay(f.WriteGpx("second.gpx", second));
            for (const auto &row : kLaterPoints)
                f.SavePoint(row);
            QCOMPARE(f.PixelAt(120, 130), f.PixelAt(100, 100)); // the mark covers the waypoint
            f.platform.messages.clear();
            if (cleared)
                f.window->ClearWaypoints();
            for (const int i : removed)
                f.window->Document().PointsForTest().erase(
                    f.window->Document().PointsForTest().begin() + i);
            f.window->RepaintPicture();
            f.window->RepaintPicture(); // each pixel keeps its first original
            QVERIFY(f.platform.messages.empty());
            QCOMPARE(f.window->OverlayCountForTest(), cleared ? 0u : twoFiles ? 2u : 1u);
            if (twoFiles && !cleared)
                QCOMPARE(f.PixelAt(110, 115), kOrange);
            shown = f.window->ControlsForTest().Image1->ShownImage();
            points = f.window->Document().Points();
        }
        // Painted on the bare picture in one go: the waypoints, then every mark on top.
        Calibrated fresh(0, picture);
        fresh.window->Document().PointsForTest() = points;
        fresh.window->DrawPointMarks();
        if (!cleared)
            fresh.Overlay(fresh.WriteGpx("river.gpx", kRiver));
        if (!cleared && twoFiles)
            fresh.Overlay(fresh.WriteGpx("second.gpx", second));
        fresh.window->DrawPointMarks();
        QCOMPARE(shown, fresh.window->ControlsForTest().Image1->ShownImage());
    }

    void dialogRemembersFileAndEncoding()
    {
        Calibrated f;
        const QString file = f.WriteGpx("a.gpx", Gpx(""));
        f.Overlay(file);
        OpenGpxDialog *dialog = f.window->ControlsForTest().OpenGPXDialog;
        QVERIFY(dialog);
        QCOMPARE(dialog->nameFilters(), QStringList {"GPX file (*.gpx)"});
        QCOMPARE(dialog->defaultSuffix(), QString("gpx"));
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        auto *encoding = dialog->findChild<QComboBox *>("Encoding");
        QVERIFY(encoding);
        QStringList entries;
        for (int i = 0; i < encoding->count(); ++i)
            entries << encoding->itemText(i);
        QCOMPARE(
            entries,
            (QStringList {"ANSI", "ASCII", "Unicode", "Big Endian Unicode", "UTF-8", "UTF-7"}));
        QCOMPARE(encoding->currentIndex(), 0);
        encoding->setCurrentIndex(4);
        // Beside the encoding, the menu's "Draw tracks and routes", remembered as it is.
        auto *drawLines = dialog->findChild<QCheckBox *>("DrawTracksAndRoutes");
        QVERIFY(drawLines);
        QCOMPARE(drawLines->text(), QString("Draw tracks and routes"));
        QVERIFY(!drawLines->isChecked());
        drawLines->setChecked(true);
        QVERIFY(f.Loader().DrawsTracksAndRoutes());
        QCOMPARE(UserSettings().value("gpx/drawTracksAndRoutes").toBool(), true);
        f.Loader().DrawTracksAndRoutes()->setChecked(false);
        QVERIFY(!drawLines->isChecked());
        QCOMPARE(UserSettings().value("gpx/drawTracksAndRoutes").toBool(), false);
        f.Overlay(std::nullopt);
        QCOMPARE(f.window->ControlsForTest().OpenGPXDialog, dialog);
        QCOMPARE(encoding->currentText(), QString("UTF-8"));
        QCOMPARE(dialog->selectedFiles().value(0), file);
    }

    void realDialogAcceptsATypedName()
    {
        Calibrated f;
        const QString file = f.WriteGpx("typed.gpx", Gpx(R"(<wpt lat="49.9" lon="14.1"/>)"));
        test::FakePlatform::Install(nullptr); // the real dialog this time
        QTimer::singleShot(200, [&] {
            auto *dialog = f.window->ControlsForTest().OpenGPXDialog;
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            name->setText(f.Path("typed"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        f.window->ControlsForTest().btOpenGPX->click();
        test::FakePlatform::Install(&f.platform);
        QTRY_COMPARE(f.PixelAt(120, 130), kOrange);
    }
};

QTEST_MAIN(GpxButtonTest)
#include "GpxButton_test.moc"
