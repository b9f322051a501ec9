// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibPoint.h"
#include "support/WindowFixture.h"
#include "ui/MapPageAddress.h"
#include "ui/MapPageOpener.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureContextMenu.h"
#include "ui/PictureView.h"
#include "ui/PointsWindow.h"
#include "ui/ResidualLayer.h"
#include "ui/TfrmMain.h"
#include "ui/UserSettings.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>

#include <tuple>

using namespace carteva;
using carteva::test::WindowFixture;

namespace {

TCalibPoint MakePoint(std::int32_t x, std::int32_t y, Extended lat, Extended lon, std::uint8_t gap)
{
    TCalibPoint point;
    point.X = x;
    point.Y = y;
    point.Lat = lat;
    point.Lon = lon;
    point.LatGap.fill(gap);
    point.LonGap.fill(static_cast<std::uint8_t>(gap ^ 0x5A) & (gap ? 0xFF : 0));
    return point;
}

constexpr QRgb kRed = 0xFFFF0000;

// Where a control sits in an ancestor, wherever the controls between them are.
QRect PlaceIn(const QWidget *ancestor, const QWidget *control)
{
    return QRect(control->mapTo(ancestor, QPoint(0, 0)), control->size());
}

} // namespace

class TfrmMainTest : public QObject
{
    Q_OBJECT
private slots:
    void controlsAreLaidOutAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("Image1") << "Image1"
                                << "frmMain" << QRect(16, 58, 633, 410) << "";
        QTest::newRow("Panel1") << "Panel1"
                                << "frmMain" << QRect(0, 0, 676, 41) << "";
        QTest::newRow("pnlRightTop") << "pnlRightTop"
                                     << "Panel1" << QRect(569, 1, 106, 39) << "";
        QTest::newRow("stCurrentPos") << "stCurrentPos"
                                      << "pnlRightTop" << QRect(8, 13, 81, 17) << "";
        QTest::newRow("edX") << "edX"
                             << "Panel1" << QRect(60, 11, 41, 21) << "";
        QTest::newRow("edY") << "edY"
                             << "Panel1" << QRect(120, 11, 41, 21) << "";
        QTest::newRow("edLat") << "edLat"
                               << "Panel1" << QRect(232, 11, 65, 21) << "";
        QTest::newRow("edLon") << "edLon"
                               << "Panel1" << QRect(303, 11, 65, 21) << "";
        QTest::newRow("Label1") << "Label1"
                                << "Panel1" << QRect(16, 14, 38, 13) << "Coords:";
        QTest::newRow("Label2") << "Label2"
                                << "Panel1" << QRect(107, 14, 6, 13) << "x";
        QTest::newRow("Label3") << "Label3"
                                << "Panel1" << QRect(180, 14, 46, 13) << "Lat / Lon:";
        QTest::newRow("btSave") << "btSave"
                                << "Panel1" << QRect(374, 9, 43, 25) << "Save";
        QTest::newRow("BitBtn1") << "BitBtn1"
                                 << "Panel1" << QRect(423, 9, 59, 25) << "Open map";
        QTest::newRow("btOpenGPX") << "btOpenGPX"
                                   << "Panel1" << QRect(488, 9, 33, 25) << "GPX";
    }
    void controlsAreLaidOutAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, parentName);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        WindowFixture f;
        QWidget *control = f.window->findChild<QWidget *>(name);
        QVERIFY(control);
        QWidget *parent
            = parentName == "frmMain" ? f.window.get() : f.window->findChild<QWidget *>(parentName);
        QVERIFY(parent->isAncestorOf(control));
        auto *label = qobject_cast<QLabel *>(control);
        if (label && label != f.window->ControlsForTest().stCurrentPos) {
            // Labels keep their place and size themselves to their text in whatever font stands
            // in for Tahoma.
            QCOMPARE(PlaceIn(parent, control).topLeft(), geometry.topLeft());
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        } else {
            QCOMPARE(PlaceIn(parent, control), geometry);
        }
        if (label)
            QCOMPARE(label->text(), text);
        else if (auto *button = qobject_cast<QPushButton *>(control))
            QCOMPARE(button->text(), text);
        else if (auto *edit = qobject_cast<QLineEdit *>(control))
            QCOMPARE(edit->text(), text);
        QCOMPARE(control->font().family(), QString("Tahoma"));
        QCOMPARE(control->font().pointSize(), 8);
    }

    void windowStartsWithItsCaptionPositionAndSize()
    {
        WindowFixture f;
        QCOMPARE(f.window->windowTitle(), QString("Navelin - Carteva"));
        QCOMPARE(f.window->size(), QSize(676, 476));
        QCOMPARE(f.window->pos(), QPoint(150, 80));
        QCOMPARE(f.window->ControlsForTest().stCurrentPos->alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
        QCOMPARE(f.window->ControlsForTest().Image1->cursor().shape(), Qt::CrossCursor);
        QCOMPARE(f.window->ControlsForTest().btSave->cursor().shape(), Qt::PointingHandCursor);
        for (QPushButton *button :
             {f.window->ControlsForTest().btSave, f.window->ControlsForTest().BitBtn1,
              f.window->ControlsForTest().btOpenGPX}) {
            QVERIFY(!button->autoDefault());
            QVERIFY(!button->isDefault());
        }
    }

    void tabWalksTheFieldsAndButtonsInOrder()
    {
        WindowFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.window->activateWindow();
        f.window->ControlsForTest().edX->setFocus();
        const QList<QWidget *> order
            = {f.window->ControlsForTest().edY,     f.window->ControlsForTest().edLat,
               f.window->ControlsForTest().edLon,   f.window->ControlsForTest().btSave,
               f.window->ControlsForTest().BitBtn1, f.window->ControlsForTest().btOpenGPX,
               f.window->ControlsForTest().edX};
        for (QWidget *expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
    }

    void cancellingTheBitmapDialogQuitsWithoutWriting()
    {
        WindowFixture f;
        f.Start(std::nullopt);
        // The close that follows the quit has no file to write, and says nothing.
        f.Close();
        QCOMPARE(f.platform.dialogTitles, QStringList {"Open bitmap to calibrate"});
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, QString("It is necessary to open a bitmap on start"));
        QCOMPARE(f.platform.messages[0].caption, QString("Error"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::NoIcon);
        QCOMPARE(f.platform.quitCode, std::optional<int>(0));
        QVERIFY(QDir(f.folder.path()).isEmpty());
    }

    void startUpRunsOnceWhenTheWindowIsFirstShown()
    {
        WindowFixture f;
        const QString bitmap = f.WriteBitmap("map.bmp", 50, 40);
        f.platform.fileAnswers.push_back(bitmap);
        f.window->show();
        QTRY_COMPARE(f.platform.dialogTitles.size(), 1);
        f.window->hide();
        f.window->show();
        QTest::qWait(50);
        QCOMPARE(f.platform.dialogTitles.size(), 1);
        QVERIFY(!FirstActivation);
        QCOMPARE(f.window->Document().BitmapFileName(), bitmap);
    }

    void unloadablePicturesKeepTheStartState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("jpg") << "photo.jpg" << QByteArray("x")
                             << "Unknown picture file extension (.jpg)";
        QTest::newRow("JPG") << "photo.JPG" << QByteArray("x")
                             << "Unknown picture file extension (.JPG)";
        QTest::newRow("no extension")
            << "photo" << QByteArray("x") << "Unknown picture file extension (.)";
        QTest::newRow("png named bmp")
            << "map.bmp" << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
            << "Bitmap image is not valid.";
        QTest::newRow("bogus bmp")
            << "map.bmp" << QByteArray(64, 'B') << "Bitmap image is not valid.";
        QTest::newRow("header only") << "map.bmp" << QByteArray("BM", 2) << "Stream read error.";
    }
    void unloadablePicturesKeepTheStartState()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        WindowFixture f;
        WindowFixture::WriteFile(f.Path(name), content);
        f.Start(f.Path(name));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, message);
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Critical);
        QVERIFY(FirstActivation);
        QCOMPARE(f.window->Document().BitmapFileName(), f.Path(name));
        QCOMPARE(f.window->size(), QSize(676, 476));
        QCOMPARE(PlaceIn(f.window.get(), f.window->ControlsForTest().Image1),
                 QRect(16, 58, 633, 410));
        QVERIFY(f.window->ControlsForTest().Image1->GetPicture().IsEmpty());
    }

    void aFileThatCannotBeOpenedNamesPathAndReason()
    {
        WindowFixture f;
        const QString missing = f.Path("gone.bmp");
        f.Start(missing);
        QCOMPARE(f.platform.messages.at(0).text,
                 QString("Cannot open file \"%1\". No such file or directory.").arg(missing));
    }

    void capitalExtensionLoadsLikeLowerCase()
    {
        WindowFixture f;
        f.Start(f.WriteBitmap("MAP.BMP", 120, 90));
        QVERIFY(!FirstActivation);
        QCOMPARE(f.window->ControlsForTest().Image1->size(), QSize(120, 90));
    }

    void windowIsSizedAroundThePicture_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("outer");
        QTest::newRow("100x100") << QSize(100, 100) << QSize(680, 210);
        QTest::newRow("619") << QSize(619, 50) << QSize(680, 160);
        QTest::newRow("620") << QSize(620, 50) << QSize(680, 160);
        QTest::newRow("621") << QSize(621, 50) << QSize(681, 160);
        QTest::newRow("1000x700") << QSize(1000, 700) << QSize(1060, 810);
        QTest::newRow("larger than the desktop") << QSize(5000, 4000) << QSize(-1, -1);
    }
    void windowIsSizedAroundThePicture()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, outer);
        WindowFixture f;
        const QSize desktop = f.window->screen()->virtualSize();
        if (outer == QSize(-1, -1))
            outer = desktop;
        else if (outer.width() > desktop.width() || outer.height() > desktop.height())
            QSKIP("the test screen is too small for this picture");
        f.Start(f.WriteBitmap("map.bmp", picture.width(), picture.height()));
        const TfrmMainControls &ui = f.window->ControlsForTest();
        QCOMPARE(PlaceIn(f.window.get(), ui.Image1), QRect(QPoint(16, 58), picture));
        // No window manager here, so the outer size is the client size.
        QCOMPARE(f.window->frameGeometry().size(), outer);
        QCOMPARE(f.window->pos(), QPoint(150, 80));
        QCOMPARE(f.window->ControlsForTest().Panel1->width(), outer.width());
        QCOMPARE(f.window->ControlsForTest().pnlRightTop->x(), outer.width() - 107);
        // Scroll bars only where the window cannot show the whole picture.
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const bool fits = outer != desktop;
        QCOMPARE(ui.PictureArea->horizontalScrollBar()->isVisible(), !fits);
        QCOMPARE(ui.PictureArea->verticalScrollBar()->isVisible(), !fits);
    }

    void firstStartWarnsAndWritesAnEightByteFile()
    {
        WindowFixture f;
        // The reason goes to standard error, for a bug report.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Cannot load calibration: .*map.cali: open: No "));
        f.Start(f.WriteBitmap("map.bmp", 300, 200));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, QString("Cannot load calibration"));
        QCOMPARE(f.platform.messages[0].caption, QString("Error"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Warning);
        QVERIFY(f.window->Document().Points().empty());
        f.Close();
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), test::CalibrationBytes(300, 200, {}));
    }

    void threeRecordsAreWrittenBackByteForByte()
    {
        WindowFixture f;
        const std::vector<TCalibPoint> points
            = {MakePoint(10, 20, 50.5L, 14.25L, 0xAA), MakePoint(200, 150, 49.75L, 15.125L, 0x11),
               MakePoint(5, 180, -0.0L, 1e300L, 0x00)};
        // The header's size differs from the bitmap's: it is read without complaint.
        const QByteArray original = test::CalibrationBytes(999, 888, points);
        WindowFixture::WriteFile(f.Path("map.cali"), original);
        f.Start(f.WriteBitmap("map.bmp", 300, 200));
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.window->Document().Points().size(), std::size_t(3));
        QCOMPARE(f.PixelAt(200, 150), kRed);
        f.Close();
        QByteArray expected = original;
        expected.replace(0, 8, test::CalibrationBytes(300, 200, {}));
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), expected);
        QVERIFY(!QFile::exists(f.Path("map.cali.bak")));
    }

    void marksAtThePictureEdgesPaintTheirInnerPixels()
    {
        WindowFixture f;
        const std::vector<TCalibPoint> points
            = {MakePoint(0, 0, 1, 1, 0), MakePoint(99, 49, 2, 2, 0)};
        WindowFixture::WriteFile(f.Path("map.cali"), test::CalibrationBytes(100, 50, points));
        f.Start(f.WriteBitmap("map.bmp", 100, 50, Qt::white));
        QVERIFY(f.platform.messages.empty());
        for (QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(99, 49), QPoint(98, 49),
                         QPoint(99, 48)})
            QCOMPARE(f.PixelAt(p.x(), p.y()), kRed);
        QCOMPARE(f.PixelAt(1, 1), QColor(Qt::white).rgb());
    }

    void unreadableFileIsNeverReplaced()
    {
        WindowFixture f;
        const std::vector<TCalibPoint> points
            = {MakePoint(1, 2, 3, 4, 0), MakePoint(5, 6, 7, 8, 0), MakePoint(9, 10, 11, 12, 0)};
        const QByteArray original = test::CalibrationBytes(300, 200, points) + QByteArray(12, 'z');
        WindowFixture::WriteFile(f.Path("map.cali"), original);
        f.Start(f.WriteBitmap("map.bmp", 300, 200));
        QCOMPARE(f.platform.messages.at(0).text, QString("Cannot load calibration"));
        QCOMPARE(f.window->Document().Points().size(), std::size_t(3));
        // No marks are drawn by a failed load.
        QCOMPARE(f.PixelAt(5, 6), QColor(200, 220, 240).rgb());
        // Nothing changed in this run: nothing is written anywhere.
        f.Close();
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), original);
        QVERIFY(!QFile::exists(f.Path("map.cali.bak")));
    }

    void withoutAPictureTheCloseLeavesAnExistingFileAlone()
    {
        WindowFixture f;
        const QByteArray original = test::CalibrationBytes(10, 10, {MakePoint(1, 2, 3, 4, 0)});
        WindowFixture::WriteFile(f.Path("map.cali"), original);
        WindowFixture::WriteFile(f.Path("map.bmp"), "not a bitmap at all");
        f.Start(f.Path("map.bmp"));
        f.Close();
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), original);
        QVERIFY(!QFile::exists(f.Path("map.cali.bak")));
    }

    void pointsSavedWithoutAPictureGoWhereNoFileIsLost_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("a file beside the bitmap") << true;
        QTest::newRow("no file yet") << false;
    }
    void pointsSavedWithoutAPictureGoWhereNoFileIsLost()
    {
        QFETCH(bool, fileExists);
        WindowFixture f;
        const QByteArray original = test::CalibrationBytes(10, 10, {MakePoint(1, 2, 3, 4, 0)});
        if (fileExists)
            WindowFixture::WriteFile(f.Path("map.cali"), original);
        WindowFixture::WriteFile(f.Path("map.bmp"), "not a bitmap at all");
        f.Start(f.Path("map.bmp"));
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.platform.messages.clear();
        if (fileExists)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot save calibration: "));
        f.window->ControlsForTest().edX->setText("12");
        f.window->ControlsForTest().edY->setText("34");
        f.window->ControlsForTest().edLat->setText("50.5");
        f.window->ControlsForTest().edLon->setText("14.25");
        f.window->btSaveClick();
        // The first drawing gives the empty view a white bitmap of its size.
        QCOMPARE(f.window->ControlsForTest().Image1->GetPicture().Image().size(), QSize(633, 410));
        QCOMPARE(f.PixelAt(12, 34), kRed);
        QCOMPARE(f.PixelAt(0, 0), QColor(Qt::white).rgb());
        // On screen too: the whole view, not only the mark.
        const QPoint farCorner
            = f.window->ControlsForTest().Image1->mapTo(f.window.get(), QPoint(632, 409));
        QTRY_COMPARE(f.window->screen()->grabWindow(f.window->winId()).toImage().pixel(farCorner),
                     QColor(Qt::white).rgb());
        f.Close();
        const QByteArray saved
            = test::CalibrationBytes(633, 410, {MakePoint(12, 34, 50.5L, 14.25L, 0)});
        // A file this run could not read is left alone and its points go to a recovery copy,
        // which one warning names; a file this run made is no file to back up.
        QVERIFY(!QFile::exists(f.Path("map.cali.bak")));
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), fileExists ? original : saved);
        QCOMPARE(f.platform.messages.size(), std::size_t(fileExists ? 1 : 0));
        if (fileExists) {
            const QString copy = f.platform.messages[0].text.section(QLatin1Char('\n'), -1);
            QVERIFY2(copy.startsWith("The points were kept in " + f.dataHome.path()),
                     qPrintable(copy));
            QCOMPARE(WindowFixture::ReadFile(copy.mid(24).chopped(1)), saved);
        }
    }

    void iconPicturesLoadButCannotBeDrawnOn()
    {
        WindowFixture f;
        QFile::copy(QStringLiteral(CARTEVA_TEST_DATA_DIR "/single48.ico"), f.Path("map.ico"));
        WindowFixture::WriteFile(f.Path("map.cali"),
                                 test::CalibrationBytes(48, 48, {MakePoint(1, 2, 3, 4, 0)}));
        f.Start(f.Path("map.ico"));
        QVERIFY(!FirstActivation);
        QCOMPARE(f.window->frameGeometry().size(), QSize(680, 158));
        // The points were read; drawing them failed, which the load reports as its own failure.
        QCOMPARE(f.window->Document().Points().size(), std::size_t(1));
        QCOMPARE(f.platform.messages.at(0).text, QString("Cannot load calibration"));
    }

    void failedSaveWarnsAndStillCloses()
    {
        WindowFixture f;
        f.Start(f.WriteBitmap("map.bmp", 30, 20));
        WindowFixture::WriteFile(f.Path("map.cali"), "old");
        QFile::setPermissions(f.Path("map.cali"), QFileDevice::ReadOwner);
        f.platform.messages.clear();
        f.window->show();
        QVERIFY(f.window->close());
        // The points went to a recovery copy, which the second line names.
        QCOMPARE(f.platform.messages.at(0).text.section(QLatin1Char('\n'), 0, 0),
                 QString("Cannot save calibration"));
        QCOMPARE(f.platform.messages.at(0).icon, QMessageBox::Warning);
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), QByteArray("old"));
    }

    void openMapOpensTheWebMapWhereTheUserWorks_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("opened");
        const QString osm = "https://www.openstreetmap.org/#map=";
        QTest::newRow("no points: the world") << 0 << 1.0 << ""
                                              << "" << osm + "2/0.0/0.0";
        QTest::newRow("one point: around it") << 1 << 1.0 << ""
                                              << "" << osm + "12/50.2000/14.2000";
        QTest::newRow("calibrated, one to one") << 2 << 1.0 << ""
                                                << "" << osm + "9/50.001/14.599";
        QTest::newRow("calibrated, four times") << 2 << 4.0 << ""
                                                << "" << osm + "11/49.9880/14.6150";
        QTest::newRow("build's address filled in")
            << 2 << 1.0 << "https://maps.example.org/?lat={lat}&lon={lon}&z={zoom}#{zoom}"
            << "maps.example.net"
            << "https://maps.example.org/?lat=50.001&lon=14.599&z=9#9";
        QTest::newRow("build's address as it stands")
            << 2 << 1.0 << "https://maps.example.org/map?q=x"
            << ""
            << "https://maps.example.org/map?q=x";
        QTest::newRow("build's host") << 2 << 4.0 << ""
                                      << "maps.example.org"
                                      << "http://maps.example.org/gmaps/google_maps.php";
    }
    void openMapOpensTheWebMapWhereTheUserWorks()
    {
        QFETCH(int, points);
        QFETCH(double, zoom);
        QFETCH(QString, address);
        QFETCH(QString, host);
        QFETCH(QString, opened);
        WindowFixture f;
        // 0.002 degrees a pixel on both axes, north up.
        const std::vector<TCalibPoint> calibration
            = {MakePoint(100, 100, 50.2L, 14.2L, 0), MakePoint(500, 300, 49.8L, 15.0L, 0)};
        WindowFixture::WriteFile(
            f.Path("map.cali"),
            test::CalibrationBytes(600, 400, {calibration.begin(), calibration.begin() + points}));
        f.Start(f.WriteBitmap("map.bmp", 600, 400));
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        PictureScrollArea &area = *f.window->ControlsForTest().PictureArea;
        area.ZoomTo(zoom, area.ViewCentre());
        const MapPageOpener opener(MapPageAddress(address, host));
        QCOMPARE(opener.AddressFor(f.window->Document().Points(), area).toString(), opened);
    }

    void residualsAreDrawnFromTheMarksWithTheirScale()
    {
        // Two residuals on a 60 x 60 picture: the longer one (2 px) drawn 20 times, reaching 40 px
        // from its mark; the suspect point gets its ring.
        ResidualReport report;
        report.Points.resize(2);
        report.Points[0] = {true, 2, 0, 2, 10, std::nullopt, false};
        report.Points[1] = {true, 0, 1, 1, 5, std::nullopt, true};
        ResidualLayer layer;
        layer.Rebuild(std::vector {MakePoint(10, 10, 0, 0, 0), MakePoint(30, 30, 0, 0, 0)}, report,
                      QSize(60, 60));
        QCOMPARE(layer.Scale(), 20.0);
        QCOMPARE(layer.ScaleText(), QString("Residuals on the picture: drawn 20 times their length"));
        // 3 px would need 13.3 times: rounded up to 20, never shorter than 40 px.
        ResidualReport longer = report;
        longer.Points[0] = {true, 3, 0, 3, 15, std::nullopt, false};
        ResidualLayer scaledUp;
        scaledUp.Rebuild(std::vector {MakePoint(10, 10, 0, 0, 0), MakePoint(30, 30, 0, 0, 0)},
                         longer, QSize(60, 60));
        QCOMPARE(scaledUp.Scale(), 20.0);
        QImage image(60, 60, QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            layer.Paint(painter, QRect(0, 0, 60, 60));
        }
        const QRgb blue = qRgb(0, 90, 255), magenta = qRgb(255, 0, 255);
        for (const auto &[x, y, colour] : {std::tuple {11, 10, blue}, {50, 10, blue},
                                           {55, 10, qRgb(0, 0, 0)},
                                           {30, 45, blue}, {30, 21, magenta}, {39, 30, magenta}})
            QVERIFY2(image.pixel(x, y) == colour,
                     qPrintable(QString("%1, %2: %3").arg(x).arg(y).arg(image.pixel(x, y), 0, 16)));
        // A white edge beside the line, for dark maps.
        QVERIFY(image.pixel(30, 9) == qRgb(255, 255, 255) || image.pixel(30, 11) == qRgb(255, 255, 255));

        // In the window: off by default, then on through the menu and remembered.
        WindowFixture f;
        const TCalibPoint points[] = {MakePoint(5, 5, 50, 14, 0), MakePoint(50, 8, 50, 14.1L, 0),
                                      MakePoint(8, 50, 49.9L, 14, 0), MakePoint(52, 52, 49.91L, 14.1L, 0)};
        WindowFixture::WriteFile(f.Path("map.cali"), test::CalibrationBytes(60, 60, {std::begin(points), std::end(points)}));
        f.Start(f.WriteBitmap("map.bmp", 60, 60));
        QAction *shown = f.window->MenuForTest().ShowResidualsAction();
        QVERIFY(!shown->isChecked());
        PointsWindow &window = f.window->ShowPointsWindow();
        QVERIFY(window.ResidualScale().isHidden());
        shown->setChecked(true);
        QVERIFY(window.ResidualScale().text().startsWith("Residuals on the picture: drawn "));
        QVERIFY(!window.ResidualScale().isHidden());
        QVERIFY(UserSettings().value("picture/showResiduals").toBool());
        shown->setChecked(false);
        QVERIFY(window.ResidualScale().isHidden());
    }

    void openMapOpensTheBuildsPageAndSaysWhyWhenNoBrowserStarts()
    {
        WindowFixture f;
        f.platform.browserStarts = false;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot open the map page .+: .+"));
        QTest::mouseClick(f.window->ControlsForTest().BitBtn1, Qt::LeftButton);
        QCOMPARE(f.platform.urls.size(), std::size_t(1));
        QCOMPARE(f.platform.urls[0], MapPageAddress::Built().For(WorkingPlace::World));
        if (!MapPageAddress::Built().SetByBuild())
            QCOMPARE(f.platform.urls[0], QUrl("https://www.openstreetmap.org/#map=2/0.0/0.0"));
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QVERIFY2(f.platform.messages[0].text.startsWith("Cannot open the map page "
                                                         + f.platform.urls[0].toString() + ": "),
                 qPrintable(f.platform.messages[0].text));
        QCOMPARE(f.platform.messages[0].caption, QString("Carteva"));
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Warning);
    }
};

QTEST_MAIN(TfrmMainTest)
#include "TfrmMain_test.moc"
