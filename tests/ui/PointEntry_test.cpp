// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/NumberText.h"
#include "support/WindowFixture.h"
#include "ui/PictureView.h"
#include "ui/TfrmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace carteva;
using carteva::test::WindowFixture;

namespace {

constexpr QRgb kRed = 0xFFFF0000;
const QRgb kPaper = QColor(200, 220, 240).rgb();

struct Fields
{
    QString x, y, lat, lon;
    bool operator==(const Fields &) const = default;
};

Fields FieldsOf(const TfrmMain &w)
{
    return {w.ControlsForTest().edX->text(), w.ControlsForTest().edY->text(),
            w.ControlsForTest().edLat->text(), w.ControlsForTest().edLon->text()};
}

void Type(TfrmMain &w, const Fields &fields)
{
    for (auto [edit, text] : {std::pair {w.ControlsForTest().edX, fields.x},
                              std::pair {w.ControlsForTest().edY, fields.y},
                              std::pair {w.ControlsForTest().edLat, fields.lat},
                              std::pair {w.ControlsForTest().edLon, fields.lon}}) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
}

// A started window on a 300 × 200 bitmap, shown so that real mouse events reach it.
struct Started : WindowFixture
{
    Started()
    {
        Start(WriteBitmap("map.bmp", 300, 200));
        platform.messages.clear();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void Save() { QTest::mouseClick(window->ControlsForTest().btSave, Qt::LeftButton); }
    void ClickAt(QPoint p)
    {
        QTest::mouseMove(window->ControlsForTest().Image1, p);
        QTest::mouseClick(window->ControlsForTest().Image1, Qt::LeftButton, {}, p);
    }
};

bool SamePoint(const TCalibPoint &a, const TCalibPoint &b)
{
    return a.X == b.X && a.Y == b.Y && a.Lat == b.Lat && a.Lon == b.Lon;
}

} // namespace

class PointEntryTest : public QObject
{
    Q_OBJECT
private slots:
    void readoutFollowsThePointer()
    {
        Started f;
        QTest::mouseMove(f.window->ControlsForTest().Image1, QPoint(120, 45));
        QCOMPARE(f.window->ControlsForTest().stCurrentPos->text(), QString("120 x 45"));
        QCOMPARE(f.window->LastX, 120);
        QCOMPARE(f.window->LastY, 45);
    }

    void dragBeyondThePictureReportsOutsidePositionsAndNoClick()
    {
        Started f;
        QTest::mouseMove(f.window->ControlsForTest().Image1, QPoint(10, 10));
        QTest::mousePress(f.window->ControlsForTest().Image1, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(f.window->ControlsForTest().Image1, QPoint(-5, -7));
        QCOMPARE(f.window->ControlsForTest().stCurrentPos->text(), QString("-5 x -7"));
        QTest::mouseRelease(f.window->ControlsForTest().Image1, Qt::LeftButton, {}, QPoint(-5, -7));
        QCOMPARE(FieldsOf(*f.window), (Fields {}));
        QCOMPARE(f.window->LastX, -5);
    }

    void clickBeforeAnyMoveFillsZeros()
    {
        Started f;
        f.window->Image1Click();
        QCOMPARE(FieldsOf(*f.window), (Fields {"0", "0", "", ""}));
    }

    void saveOnAnEmptyListAddsOnePointAndPaintsIt()
    {
        Started f;
        Type(*f.window, {"12", "34", "50.5", "14.25"});
        f.Save();
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.window->Points.size(), std::size_t(1));
        const TCalibPoint &p = f.window->Points[0];
        QVERIFY(p.X == 12 && p.Y == 34 && p.Lat == 50.5L && p.Lon == 14.25L);
        QCOMPARE(FieldsOf(*f.window), (Fields {}));
        for (QPoint q :
             {QPoint(12, 34), QPoint(13, 34), QPoint(11, 34), QPoint(12, 35), QPoint(12, 33)})
            QCOMPARE(f.PixelAt(q.x(), q.y()), kRed);
        QCOMPARE(f.PixelAt(13, 35), kPaper);
    }

    void clickingAPointShowsItsCoordinatesAndSavingRoundsThemToSixDecimals()
    {
        Started f;
        Type(*f.window, {"40", "50", "50.0833333333", "-14.42138888"});
        f.Save();
        f.ClickAt(QPoint(40, 50));
        QCOMPARE(FieldsOf(*f.window), (Fields {"40", "50", "50.083333", "-14.421389"}));
        f.Save();
        QCOMPARE(f.window->Points.size(), std::size_t(1));
        QCOMPARE(f.window->Points[0].Lat, ParseDecimal(u"50.083333"));
        QCOMPARE(f.window->Points[0].Lon, ParseDecimal(u"-14.421389"));
    }

    void clickingElsewhereFillsThePixelAndEmptiesTheCoordinates()
    {
        Started f;
        Type(*f.window, {"1", "2", "3", "4"});
        f.ClickAt(QPoint(77, 88));
        QCOMPARE(FieldsOf(*f.window), (Fields {"77", "88", "", ""}));
        QVERIFY(f.window->Points.empty());
    }

    void correctingTheSecondPointChangesOnlyThatPoint()
    {
        Started f;
        for (const Fields &fields :
             {Fields {"10", "10", "50", "14"}, Fields {"100", "100", "49", "15"},
              Fields {"200", "150", "48", "16"}}) {
            Type(*f.window, fields);
            f.Save();
        }
        const std::vector<TCalibPoint> before = f.window->Points;
        f.ClickAt(QPoint(100, 100));
        f.window->ControlsForTest().edLat->setText("49.5");
        f.Save();
        QCOMPARE(f.window->Points.size(), std::size_t(3));
        QVERIFY(SamePoint(f.window->Points[0], before[0]));
        QVERIFY(SamePoint(f.window->Points[2], before[2]));
        QCOMPARE(f.window->Points[1].Lat, 49.5L);
        QCOMPARE(f.window->Points[1].Lon, 15.0L);
    }

    void refusedTextsChangeNothing_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("lon");
        QTest::addColumn<QString>("message");
        QTest::newRow("y abc") << "10"
                               << "abc"
                               << "1"
                               << "2"
                               << "''abc'' is not a valid integer value.";
        QTest::newRow("y checked before x") << "x"
                                            << "y"
                                            << "1"
                                            << "2"
                                            << "''y'' is not a valid integer value.";
        QTest::newRow("empty x") << ""
                                 << "20"
                                 << "1"
                                 << "2"
                                 << "'''' is not a valid integer value.";
        QTest::newRow("x trailing space") << "12 "
                                          << "20"
                                          << "1"
                                          << "2"
                                          << "''12 '' is not a valid integer value.";
        QTest::newRow("comma") << "10"
                               << "20"
                               << "50,5"
                               << "2"
                               << "''50,5'' is not a valid floating point value.";
        QTest::newRow("junk after number") << "10"
                                           << "20"
                                           << "1"
                                           << "-12.5x"
                                           << "''-12.5x'' is not a valid floating point value.";
        QTest::newRow("empty lat") << "10"
                                   << "20"
                                   << ""
                                   << "2"
                                   << "'''' is not a valid floating point value.";
        QTest::newRow("trailing space") << "10"
                                        << "20"
                                        << "1"
                                        << "2 "
                                        << "''2 '' is not a valid floating point value.";
        QTest::newRow("overflow") << "10"
                                  << "20"
                                  << "1"
                                  << "2e4932"
                                  << "Floating point overflow.";
    }
    void refusedTextsChangeNothing()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QString, lat);
        QFETCH(QString, lon);
        QFETCH(QString, message);
        Started f;
        Type(*f.window, {"10", "20", "1", "2"});
        f.Save();
        const std::vector<TCalibPoint> before = f.window->Points;
        const Fields typed {x, y, lat, lon};
        Type(*f.window, typed);
        f.Save();
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, message);
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(f.window->Points.size(), before.size());
        QVERIFY(SamePoint(f.window->Points[0], before[0]));
        QCOMPARE(FieldsOf(*f.window), typed);
    }

    void enterAndEscapeTriggerNothing()
    {
        Started f;
        Type(*f.window, {"12", "34", "50.5", "14.25"});
        for (QWidget *w : {static_cast<QWidget *>(f.window->ControlsForTest().edLon),
                           static_cast<QWidget *>(f.window->ControlsForTest().btSave)}) {
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Return);
            QTest::keyClick(w, Qt::Key_Escape);
        }
        QVERIFY(f.window->Points.empty());
        QVERIFY(f.platform.messages.empty());
    }

    void onAnIconThePointIsStoredBeforeTheDrawingFails()
    {
        WindowFixture f;
        QFile::copy(QStringLiteral(CARTEVA_TEST_DATA_DIR "/single48.ico"), f.Path("map.ico"));
        f.Start(f.Path("map.ico"));
        f.platform.messages.clear();
        Type(*f.window, {"12", "34", "50.5", "14.25"});
        f.window->ControlsForTest().btSave->click();
        QCOMPARE(f.window->Points.size(), std::size_t(1));
        QCOMPARE(FieldsOf(*f.window), (Fields {}));
        QCOMPARE(f.platform.messages.at(0).text,
                 QString("Can only modify an image if it contains a bitmap."));
        // The file is written all the same.
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")),
                 test::CalibrationBytes(48, 48, f.window->Points));
    }

    void savedPointsReachTheFileAtOnceAndAgainAtClose()
    {
        Started f;
        Type(*f.window, {"12", "34", "50.5", "14.25"});
        f.Save();
        TCalibPoint expected;
        expected.X = 12;
        expected.Y = 34;
        expected.Lat = 50.5L;
        expected.Lon = 14.25L;
        const QByteArray bytes = test::CalibrationBytes(300, 200, {expected});
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), bytes);
        QFile::remove(f.Path("map.cali"));
        f.Close();
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")), bytes);
    }
};

QTEST_MAIN(PointEntryTest)
#include "PointEntry_test.moc"
