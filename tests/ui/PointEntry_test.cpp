// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/NumberText.h"
#include "support/WindowFixture.h"
#include "ui/GpxOverlayLoader.h"
#include "ui/MappingChoice.h"
#include "ui/PictureContextMenu.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "ui/PointsTableModel.h"
#include "picture/PathCrossing.h"
#include "ui/MappingFigures.h"
#include "ui/PointsWindow.h"
#include "ui/ProjectionDialog.h"
#include "ui/TfrmMain.h"
#include "ui/ToolWindowPlace.h"

#include <QAction>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QTreeWidget>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cmath>

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
    explicit Started(const QByteArray &calibration = {})
    {
        if (!calibration.isEmpty())
            WriteFile(Path("map.cali"), calibration);
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

TCalibPoint MakePoint(std::int32_t x, std::int32_t y, Extended lat, Extended lon, std::uint8_t gap)
{
    TCalibPoint point;
    point.X = x;
    point.Y = y;
    point.Lat = lat;
    point.Lon = lon;
    point.LatGap.fill(gap);
    point.LonGap.fill(gap);
    return point;
}

// Three points read from a file with gap bytes of their own, on a shown and active window: undo
// must bring back exactly these bytes. The third point lies 10 px off the line the others draw.
struct WithPoints : Started
{
    static std::vector<TCalibPoint> Initial()
    {
        return {MakePoint(10, 10, 50, 14, 0x11), MakePoint(210, 110, 49, 15, 0x22),
                MakePoint(110, 180, 48.2L, 14.5L, 0x33)};
    }
    WithPoints()
        : Started(test::CalibrationBytes(300, 200, Initial()))
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    QByteArray File() const { return ReadFile(Path("map.cali")); }
    void Key(QKeyCombination keys)
    {
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window.get(), keys.key(), keys.keyboardModifiers());
    }
    PointsWindow &Points() { return window->ShowPointsWindow(); }
    void SelectRows(std::initializer_list<int> rows)
    {
        QTableView &table = Points().Table();
        table.clearSelection();
        for (int row : rows)
            table.selectionModel()->select(table.model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

} // namespace

Q_DECLARE_METATYPE(Fields)
Q_DECLARE_METATYPE(std::vector<carteva::TCalibPoint>)

class PointEntryTest : public QObject
{
    Q_OBJECT
private slots:
    void readoutFollowsThePointer()
    {
        Started f;
        QTest::mouseMove(f.window->ControlsForTest().Image1, QPoint(120, 45));
        QCOMPARE(f.window->ControlsForTest().stCurrentPos->text(), QString("120 x 45"));
        QCOMPARE(f.window->ControlsForTest().Image1->LastPixel().x(), 120);
        QCOMPARE(f.window->ControlsForTest().Image1->LastPixel().y(), 45);
        // The window moves under the still pointer: the readout follows the picture.
        f.window->move(f.window->pos() + QPoint(10, 5));
        QTRY_COMPARE(f.window->ControlsForTest().stCurrentPos->text(), QString("110 x 40"));
        QCOMPARE(f.window->ControlsForTest().Image1->LastPixel().x(), 110);
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
        QCOMPARE(f.window->ControlsForTest().Image1->LastPixel().x(), -5);
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
        QCOMPARE(f.window->Document().Points().size(), std::size_t(1));
        const TCalibPoint &p = f.window->Document().Points()[0];
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
        QCOMPARE(f.window->Document().Points().size(), std::size_t(1));
        QCOMPARE(f.window->Document().Points()[0].Lat, ParseDecimal(u"50.083333"));
        QCOMPARE(f.window->Document().Points()[0].Lon, ParseDecimal(u"-14.421389"));
    }

    void clickingElsewhereFillsThePixelAndEmptiesTheCoordinates()
    {
        Started f;
        Type(*f.window, {"1", "2", "3", "4"});
        f.ClickAt(QPoint(77, 88));
        QCOMPARE(FieldsOf(*f.window), (Fields {"77", "88", "", ""}));
        QVERIFY(f.window->Document().Points().empty());
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
        const std::vector<TCalibPoint> before = f.window->Document().Points();
        f.ClickAt(QPoint(100, 100));
        f.window->ControlsForTest().edLat->setText("49.5");
        f.Save();
        QCOMPARE(f.window->Document().Points().size(), std::size_t(3));
        QVERIFY(SamePoint(f.window->Document().Points()[0], before[0]));
        QVERIFY(SamePoint(f.window->Document().Points()[2], before[2]));
        QCOMPARE(f.window->Document().Points()[1].Lat, 49.5L);
        QCOMPARE(f.window->Document().Points()[1].Lon, 15.0L);
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
        const std::vector<TCalibPoint> before = f.window->Document().Points();
        const Fields typed {x, y, lat, lon};
        Type(*f.window, typed);
        f.Save();
        QCOMPARE(f.platform.messages.size(), std::size_t(1));
        QCOMPARE(f.platform.messages[0].text, message);
        QCOMPARE(f.platform.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(f.window->Document().Points().size(), before.size());
        QVERIFY(SamePoint(f.window->Document().Points()[0], before[0]));
        QCOMPARE(FieldsOf(*f.window), typed);
    }

    void pastingAPositionFillsBothFields_data()
    {
        QTest::addColumn<bool>("intoLon");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("lon");
        QTest::newRow("comma") << false << "50.08123, 14.42076"
                               << "50.08123"
                               << "14.42076";
        QTest::newRow("semicolon, into longitude") << true << " 50.08123;14.42076\n"
                                                   << "50.08123"
                                                   << "14.42076";
        QTest::newRow("spaces, signs") << false << "-33.8688   -070.50"
                                       << "-33.8688"
                                       << "-070.50";
        QTest::newRow("degrees, letters after") << false << "50.08123\u00b0 N, 14.42076\u00b0 E"
                                                << "50.08123"
                                                << "14.42076";
        QTest::newRow("letters before, south and west")
            << true << "S 33.8688\u00b0 W 151.2093\u00b0"
            << "-33.8688"
            << "-151.2093";
        QTest::newRow("longitude first by its letter") << false << "14.42076E 50.08123n"
                                                       << "50.08123"
                                                       << "14.42076";
        // Anything else goes into the one field at the cursor, as always.
        QTest::newRow("one number") << false << "50.5"
                                    << "150.5"
                                    << "2";
        QTest::newRow("decimal commas") << true << "50,5 14,2"
                                        << "1"
                                        << "250,5 14,2";
        QTest::newRow("beyond the pole") << false << "91, 14"
                                         << "191, 14"
                                         << "2";
        QTest::newRow("two latitudes") << false << "50 N 14 S"
                                       << "150 N 14 S"
                                       << "2";
        QTest::newRow("sign and letter") << false << "-50 S, 14 E"
                                         << "1-50 S, 14 E"
                                         << "2";
    }
    void pastingAPositionFillsBothFields()
    {
        QFETCH(bool, intoLon);
        QFETCH(QString, pasted);
        QFETCH(QString, lat);
        QFETCH(QString, lon);
        Started f;
        Type(*f.window, {"10", "20", "1", "2"});
        QLineEdit *field
            = intoLon ? f.window->ControlsForTest().edLon : f.window->ControlsForTest().edLat;
        field->setFocus();
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(FieldsOf(*f.window), (Fields {"10", "20", lat, lon}));
        if (lat == "1" || lon == "2")
            return; // not a pair
        // Save takes the pasted digits as typed ones.
        f.Save();
        QVERIFY(f.platform.messages.empty());
        QCOMPARE(f.window->Document().Points().at(0).Lat, ParseDecimal(lat.toStdU16String()));
        QCOMPARE(f.window->Document().Points().at(0).Lon, ParseDecimal(lon.toStdU16String()));
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
        QVERIFY(f.window->Document().Points().empty());
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
        QCOMPARE(f.window->Document().Points().size(), std::size_t(1));
        QCOMPARE(FieldsOf(*f.window), (Fields {}));
        QCOMPARE(f.platform.messages.at(0).text,
                 QString("Can only modify an image if it contains a bitmap."));
        // The file is written all the same.
        QCOMPARE(WindowFixture::ReadFile(f.Path("map.cali")),
                 test::CalibrationBytes(48, 48, f.window->Document().Points()));
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

    void eachEditIsOneUndoStepAndTheFileFollows_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<std::vector<TCalibPoint>>("after");
        const std::vector<TCalibPoint> initial = WithPoints::Initial();
        auto without = [&](std::initializer_list<std::size_t> gone) {
            std::vector<TCalibPoint> left;
            for (std::size_t i = 0; i < initial.size(); ++i)
                if (std::find(gone.begin(), gone.end(), i) == gone.end())
                    left.push_back(initial[i]);
            return left;
        };
        std::vector<TCalibPoint> added = initial;
        added.push_back(MakePoint(40, 50, 50.5L, 14.25L, 0));
        std::vector<TCalibPoint> corrected = initial;
        corrected[1].Lat = 49.5L;
        std::vector<TCalibPoint> edited = initial;
        edited[2].Lon = ParseDecimal(u"14.75");
        QTest::newRow("Save of a new point") << "save new" << added;
        QTest::newRow("Save correcting a point") << "save correction" << corrected;
        QTest::newRow("remove by the menu") << "menu" << without({1});
        QTest::newRow("remove by the Delete key") << "delete key" << without({0, 2});
        QTest::newRow("remove by the Delete button") << "delete button" << without({1});
        QTest::newRow("remove two neighbours") << "delete neighbours" << without({0, 1});
        QTest::newRow("longitude edited in place") << "edit lon" << edited;
    }
    void eachEditIsOneUndoStepAndTheFileFollows()
    {
        QFETCH(QString, edit);
        QFETCH(std::vector<TCalibPoint>, after);
        WithPoints f;
        const QByteArray before = f.File();
        QCOMPARE(before, test::CalibrationBytes(300, 200, WithPoints::Initial()));
        if (edit == "save new") {
            Type(*f.window, {"40", "50", "50.5", "14.25"});
            f.Save();
        } else if (edit == "save correction") {
            Type(*f.window, {"210", "110", "49.5", "15"});
            f.Save();
        } else if (edit == "menu") {
            f.window->MenuForTest().Prepare(QPointF(210.5, 110.5));
            f.window->MenuForTest().RemoveAction()->trigger();
        } else if (edit == "edit lon") {
            QAbstractItemModel *model = f.Points().Table().model();
            QVERIFY(model->setData(model->index(2, 4), QString("14.75")));
        } else {
            f.SelectRows(edit == "delete key"  ? std::initializer_list<int> {0, 2}
                             : edit == "delete button" ? std::initializer_list<int> {1}
                                                       : std::initializer_list<int> {0, 1});
            if (edit != "delete button")
                QTest::keyClick(&f.Points().Table(), Qt::Key_Delete);
            else
                QTest::mouseClick(&f.Points().DeleteButton(), Qt::LeftButton);
            f.window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
        }
        QVERIFY(f.platform.messages.empty());
        const QByteArray changed = test::CalibrationBytes(300, 200, after);
        QCOMPARE(f.File(), changed);
        QCOMPARE(f.window->Document().Points().size(), after.size());
        f.Key(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(f.File(), before);
        f.Key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        QCOMPARE(f.File(), changed);
        f.Key(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(f.File(), before);
        f.Key(Qt::CTRL | Qt::Key_Y);
        QCOMPARE(f.File(), changed);
        QVERIFY(f.platform.messages.empty());
    }

    void aFieldUndoesItsTypingBeforeTheList()
    {
        WithPoints f;
        f.window->ControlsForTest().edLat->setFocus();
        QTest::keyClicks(f.window->ControlsForTest().edLat, "12");
        f.Key(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(f.window->ControlsForTest().edLat->text(), QString());
        QCOMPARE(f.window->Document().Points().size(), std::size_t(3));
        f.window->Document().Remove({0});
        f.Key(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(f.window->Document().Points().size(), std::size_t(3));
        // A refused in-place edit is reported as Save reports it and changes nothing.
        QAbstractItemModel *model = f.Points().Table().model();
        QVERIFY(!model->setData(model->index(0, 3), QString("50,5")));
        QCOMPARE(f.platform.messages.at(0).text,
                 QString("''50,5'' is not a valid floating point value."));
        QCOMPARE(f.File(), test::CalibrationBytes(300, 200, WithPoints::Initial()));
    }

    void rightClickNearAMarkOffersToRemoveIt_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<QString>("entry");
        QTest::newRow("on the centre") << 1.0 << QPointF(50.5, 50.5) << "Remove point 50 x 50";
        QTest::newRow("on an arm") << 1.0 << QPointF(51.5, 50.5) << "Remove point 50 x 50";
        QTest::newRow("4 px beside an arm") << 1.0 << QPointF(45, 50.5) << "Remove point 50 x 50";
        QTest::newRow("4 px above an arm") << 1.0 << QPointF(50.5, 45) << "Remove point 50 x 50";
        QTest::newRow("5 px beside an arm") << 1.0 << QPointF(44, 50.5) << "";
        QTest::newRow("nearest of two wins") << 1.0 << QPointF(55.5, 50.5) << "Remove point 58 x 50";
        QTest::newRow("zoom 4, 3 px") << 4.0 << QPointF(193, 202) << "Remove point 50 x 50";
        QTest::newRow("zoom 4, 5 px") << 4.0 << QPointF(191, 202) << "";
    }
    void rightClickNearAMarkOffersToRemoveIt()
    {
        QFETCH(double, zoom);
        QFETCH(QPointF, at);
        QFETCH(QString, entry);
        Started f(test::CalibrationBytes(300, 200, {MakePoint(50, 50, 50, 14, 0),
                                                     MakePoint(58, 50, 49, 15, 0),
                                                     MakePoint(150, 120, 48, 16, 0)}));
        f.window->ControlsForTest().Image1->SetZoom(zoom);
        PictureContextMenu &menu = f.window->MenuForTest();
        menu.Prepare(at);
        QCOMPARE(menu.RemoveAction()->isVisible(), !entry.isEmpty());
        QStringList texts;
        for (QAction *action : menu.Menu().actions())
            if (action->isVisible() && !action->isSeparator())
                texts << action->text();
        QStringList expected {"Points…", "Two nearest points", "Best fit through all points",
                              "Map projection…", "Show residuals", "Clear waypoints",
                              "Draw tracks and routes"};
        if (!entry.isEmpty())
            expected.insert(1, entry);
        QCOMPARE(texts, expected);
        if (entry.isEmpty())
            return;
        menu.RemoveAction()->trigger();
        QCOMPARE(f.window->Document().Points().size(), std::size_t(2));
        QCOMPARE(FindPoint(f.window->Document().Points(), entry.section(' ', 2, 2).toInt(), 50), -1);
    }

    void theMappingSwitchMovesTheWaypoints()
    {
        WithPoints f;
        f.WriteFile(f.Path("a.gpx"), R"(<?xml version="1.0"?><gpx><wpt lat="48.5" lon="14"/></gpx>)");
        f.platform.fileAnswers.push_back(f.Path("a.gpx"));
        f.window->ControlsForTest().btOpenGPX->click();
        const auto *loader = f.window->findChild<GpxOverlayLoader *>("GpxOverlayLoader");
        QVERIFY(QTest::qWaitFor([loader] { return !loader->Busy(); }, 20000));
        constexpr QRgb kOrange = 0xFFFF8000;
        // Between the two nearest points, the third one 10 px off pulls the waypoint down to 154;
        // the fit through all three places it at 148.
        QCOMPARE(f.PixelAt(10, 154), kOrange);
        QCOMPARE(f.PixelAt(10, 148), kPaper);
        f.window->Document().Mapping().BestFitAction()->trigger();
        QCOMPARE(f.PixelAt(10, 148), kOrange);
        QCOMPARE(f.PixelAt(10, 154), kPaper);
        QCOMPARE(f.Points().Summary().text().left(27), QString("Best fit: affine, 3 points:"));
        QVERIFY(f.platform.messages.empty());
        // The choice is remembered for the next run.
        QCOMPARE(MappingChoice().Kind(), MappingKind::BestFit);
    }

    void theDistanceFromTheOtherPointsShowsBeforeSave_data()
    {
        QTest::addColumn<Fields>("typed");
        QTest::addColumn<QString>("distance");
        QTest::newRow("where the others put it")
            << Fields {"110", "60", "49.5", "14.5"} << "0 m / 0 px from the other points";
        QTest::newRow("a typo") << Fields {"110", "60", "49.05", "14.5"}
                                << "50038 m / 45 px from the other points";
        QTest::newRow("incomplete") << Fields {"110", "60", "49.05", ""} << "";
        QTest::newRow("a saved point as it is") << Fields {"10", "10", "50.000000", "14.000000"}
                                                << "";
    }
    void theDistanceFromTheOtherPointsShowsBeforeSave()
    {
        QFETCH(Fields, typed);
        QFETCH(QString, distance);
        Started f(test::CalibrationBytes(
            300, 200, {MakePoint(10, 10, 50, 14, 0), MakePoint(210, 110, 49, 15, 0)}));
        PointsWindow &points = f.window->ShowPointsWindow();
        Type(*f.window, typed);
        QCOMPARE(points.Distance().text(), distance);
        emit f.window->ControlsForTest().Image1->MouseMoved({}, 110, 60);
        QCOMPARE(points.Pointer().text(), QString("Pointer 110 x 60: 49.500000, 14.500000"));
        // Selected points are outlined over the picture, not in it; a double click shows one at 4.
        points.Table().selectRow(1);
        QCOMPARE(f.window->ControlsForTest().Image1->Outlined(), std::vector<QPoint> {QPoint(210, 110)});
        QCOMPARE(f.PixelAt(208, 108), kPaper);
        emit points.Table().doubleClicked(points.Table().model()->index(1, 0));
        QCOMPARE(f.window->ControlsForTest().Image1->Zoom(), 4.0);
    }

    void aDoubleClickCentresThePointClearOfThePointsWindow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("overPicture"); // the points window moved over the picture first
        QTest::newRow("middle of the map") << 1 << false;
        QTest::newRow("middle, the points window over the picture") << 1 << true;
        QTest::newRow("corner of the map, the points window over the picture") << 2 << true;
    }
    void aDoubleClickCentresThePointClearOfThePointsWindow()
    {
        QFETCH(int, row);
        QFETCH(bool, overPicture);
        Started f(test::CalibrationBytes(
            300, 200, {MakePoint(10, 10, 50, 14, 0), MakePoint(150, 100, 49.5L, 14.5L, 0),
                       MakePoint(295, 195, 49, 15, 0)}));
        PointsWindow &points = f.window->ShowPointsWindow();
        PictureScrollArea &area = *f.window->ControlsForTest().PictureArea;
        const QRect viewport(area.viewport()->mapToGlobal(QPoint(0, 0)), area.viewport()->size());
        if (overPicture)
            points.move(viewport.center() - QPoint(points.width() / 2, 0));
        QTRY_VERIFY(!overPicture || points.frameGeometry().contains(viewport.center()));
        emit points.Table().doubleClicked(points.Table().model()->index(row, 0));
        QCOMPARE(area.View().Zoom(), 4.0);
        const TCalibPoint &point = f.window->Document().Points()[std::size_t(row)];
        const QPoint at = area.View().mapToGlobal(QPoint(point.X * 4 + 2, point.Y * 4 + 2));
        QVERIFY2(viewport.contains(at), qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
        QTRY_VERIFY(!points.frameGeometry().contains(at));
        if (!overPicture)
            QVERIFY((at - viewport.center()).manhattanLength() <= 2);
    }

    void thePointsWindowOpensWhollyOnAScreen_data()
    {
        // Frames on a 1920 x 1200 screen beside a second one of 1280 x 1024 to its right.
        QTest::addColumn<QRect>("remembered");
        QTest::addColumn<QRect>("mainFrame");
        QTest::addColumn<QRect>("expected");
        // The main window's screen and what must stay in sight: none but where a row says.
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QList<QRect>>("keepClear");
        const QRect none, wide(0, 0, 1920, 1200);
        QTest::newRow("beside a small main window")
            << none << QRect(100, 80, 700, 500) << QRect(807, 80, 400, 300) << wide << QList<QRect>();
        QTest::newRow("the main window fills the screen")
            << none << QRect(-8, -20, 1936, 1228) << QRect(1520, 0, 400, 300) << wide << QList<QRect>();
        QTest::newRow("near the bottom right corner: to its left")
            << none << QRect(1500, 1100, 300, 200) << QRect(1093, 900, 400, 300) << wide
            << QList<QRect>();
        QTest::newRow("below a wide main window")
            << none << QRect(100, 0, 1700, 700) << QRect(100, 707, 400, 300) << wide << QList<QRect>();
        // The picture's middle, the readout at the top right, the entry fields at the top left.
        const QList<QRect> wideMap = {QRect(950, 600, 1, 1), QRect(1600, 25, 100, 15),
                                      QRect(110, 25, 400, 15)};
        QTest::newRow("wide map: the bottom right corner, clear of the readout")
            << none << QRect(100, 0, 1700, 1150) << QRect(1520, 900, 400, 300) << wide << wideMap;
        QTest::newRow("narrow screen: the corner clear of the picture's middle")
            << none << QRect(0, 0, 800, 600) << QRect(0, 300, 400, 300) << QRect(0, 0, 800, 600)
            << QList<QRect> {QRect(400, 320, 1, 1), QRect(650, 25, 100, 15), QRect(10, 25, 400, 15)};
        QTest::newRow("remembered, on the other screen")
            << QRect(2000, 100, 400, 300) << QRect(100, 80, 700, 500) << QRect(2000, 100, 400, 300)
            << wide << QList<QRect>();
        QTest::newRow("remembered, off every screen")
            << QRect(1857, -20, 400, 300) << QRect(100, 80, 700, 500) << QRect(807, 80, 400, 300)
            << wide << QList<QRect>();
        QTest::newRow("remembered, across both screens")
            << QRect(1700, 100, 400, 300) << QRect(100, 80, 700, 500) << QRect(807, 80, 400, 300)
            << wide << QList<QRect>();
        QTest::newRow("remembered on the map, with room beside it")
            << QRect(200, 100, 400, 300) << QRect(100, 80, 700, 500) << QRect(807, 80, 400, 300)
            << wide << QList<QRect>();
        QTest::newRow("remembered on a wide map, clear of what must be seen")
            << QRect(1000, 800, 400, 300) << QRect(100, 0, 1700, 1150) << QRect(1000, 800, 400, 300)
            << wide << wideMap;
        QTest::newRow("remembered over the readout of a wide map")
            << QRect(1500, 0, 400, 300) << QRect(100, 0, 1700, 1150) << QRect(1520, 900, 400, 300)
            << wide << wideMap;
    }
    void thePointsWindowOpensWhollyOnAScreen()
    {
        QFETCH(QRect, remembered);
        QFETCH(QRect, mainFrame);
        QFETCH(QRect, expected);
        QFETCH(QRect, screen);
        QFETCH(QList<QRect>, keepClear);
        QCOMPARE(ToolWindowPlace::Choose(remembered, QSize(400, 300), mainFrame, screen,
                                         {screen, QRect(1920, 0, 1280, 1024)}, keepClear),
                 expected);
    }

    void thePointsWindowBesideAMainWindowAtTheScreensEdge()
    {
        Started f; // with a settings folder of its own: no place remembered
        f.window->move(1700, 900);
        PointsWindow &points = f.window->ShowPointsWindow();
        QVERIFY(f.window->screen()->availableGeometry().contains(points.frameGeometry()));
    }

    void aMistypedPointIsMarkedSuspect()
    {
        // 0.0025 degree a pixel each way; the fourth point's latitude has two digits swapped.
        std::vector<TCalibPoint> points;
        for (const auto &[x, y] : {std::pair {90, 70}, {390, 230}, {250, 40}, {230, 140}, {20, 238}})
            points.push_back(MakePoint(x, y, 50.375L - y * 0.0025L, 13.875L + x * 0.0025L, 0));
        points[3].Lat = 50.205L;
        Started f(test::CalibrationBytes(300, 200, points));
        f.window->Document().Mapping().SetKind(MappingKind::BestFit);
        PointsWindow &window = f.window->ShowPointsWindow();
        QAbstractItemModel *model = window.Table().model();
        for (int row = 0; row < 5; ++row) {
            const QModelIndex check = model->index(row, PointsTableModel::Check);
            QCOMPARE(model->data(check).toString(), QString(row == 3 ? "Suspect" : ""));
            QCOMPARE(model->data(check, Qt::DecorationRole).isNull(), row != 3);
        }
        // The window points at the row, says how far off it lies, and offers no other mapping:
        // the typo is the points' fault.
        QVERIFY2(window.Figures().Suspect().text().startsWith("Point 4: check this point. The "
                                                              "others put it "),
                 qPrintable(window.Figures().Suspect().text()));
        QVERIFY(!window.Figures().Suspect().isHidden());
        QVERIFY(window.Figures().SwitchButton().isHidden());
        const QModelIndexList selected = window.Table().selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().row(), 3);
    }

    void theMapProjectionIsCheckedByProjAndKeptBesideTheMap()
    {
        WithPoints f;
        const QByteArray before = f.File();
        MappingChoice &mapping = f.window->Document().Mapping();
        ProjectionDialog dialog(f.window.get(), "", f.window->Document().Points());
        QVERIFY(dialog.Degrees().isChecked());
        QCOMPARE(dialog.Utm().text(), QString("UTM, zone taken from the points (EPSG:32633)"));
        dialog.Typed().setText("EPSG:999999");
        // PROJ's own words; later versions add the definition after them.
        QVERIFY2(dialog.Verdict().text().startsWith("crs not found"),
                 qPrintable(dialog.Verdict().text()));
        QVERIFY(!dialog.OkButton().isEnabled());
        // The words a sheet's margin prints, and a bare code: the system meant comes first.
        const struct
        {
            const char *typed;
            const char *first;
        } words[] = {
            {"UTM zone 32N", "utm zone 32n"},
            {"Swiss grid", "EPSG:2056"},
            {"Fiji Map Grid", "EPSG:3460"},
            {"conus albers", "/ conus albers"},
            {"British National Grid", "EPSG:27700"},
            {"Antarctic Polar Stereographic", "EPSG:3031"},
            {"2056", "EPSG:2056"},
        };
        for (const auto &row : words) {
            dialog.Typed().setText(row.typed);
            QVERIFY2(dialog.Matches().topLevelItemCount() > 0, row.typed);
            const QString first = dialog.Matches().topLevelItem(0)->text(1);
            const QString name
                = dialog.Matches().topLevelItem(0)->text(0).toLower().replace('_', ' ');
            // LV95 and LV03 match alike; the points lie in Bohemia, outside both.
            QVERIFY2(first == row.first || name.contains(row.first)
                         || (QString(row.typed) == "Swiss grid" && first == "EPSG:21781"),
                     qPrintable(QString(row.typed) + " gave " + first + " " + name));
        }
        QVERIFY(dialog.OkButton().isEnabled()); // "2056" is EPSG:2056
        // A geographic system is refused with a sentence.
        dialog.Typed().setText("EPSG:4720");
        QVERIFY2(dialog.Verdict().text().startsWith("Fiji 1986 (EPSG:4720) is no projection"),
                 qPrintable(dialog.Verdict().text()));
        QVERIFY(!dialog.OkButton().isEnabled());
        dialog.Typed().setText("EPSG:32633");
        QVERIFY2(dialog.Verdict().text().startsWith(
                     "WGS 84 / UTM zone 33N (EPSG:32633): a projection, for Between 12°E and 18°E"),
                 qPrintable(dialog.Verdict().text()));
        QVERIFY(dialog.OkButton().isEnabled());
        mapping.SetProjection(dialog.Definition());
        QCOMPARE(f.ReadFile(f.Path("map.prj")), QByteArray("EPSG:32633\n"));
        QCOMPARE(f.File(), before);
        mapping.SetKind(MappingKind::BestFit);
        QVERIFY(f.Points().Summary().text().startsWith(
            "Best fit: affine, 3 points, in WGS 84 / UTM zone 33N: "));
        mapping.SetProjection("");
        QVERIFY(!QFile::exists(f.Path("map.prj")));
        // A file PROJ refuses leaves degrees and says why.
        f.WriteFile(f.Path("map.prj"), "+proj=nonsense");
        mapping.OpenMap(StdPath(f.Path("map.cali")));
        QCOMPARE(mapping.ProjectionDefinition(), std::string());
        f.Points().Refresh();
        QVERIFY(f.Points().Summary().text().contains("map.prj: Unknown projection"));
        // The word the exporter's ranking offers for none is no problem.
        f.WriteFile(f.Path("map.prj"), "Degrees\n");
        mapping.OpenMap(StdPath(f.Path("map.cali")));
        QCOMPARE(mapping.ProjectionDefinition(), std::string());
        f.Points().Refresh();
        QVERIFY(!f.Points().Summary().text().contains("map.prj"));
    }

    void suggestionsAreRankedBesideTheWindowAndASecondRequestCancelsTheFirst()
    {
        WithPoints f;
        std::vector<TCalibPoint> points = WithPoints::Initial();
        QVERIFY(!ProjectionDialog(f.window.get(), "", points).SuggestButton().isEnabled());
        points.push_back(MakePoint(250, 30, 49.8L, 15.3L, 0));
        points.push_back(MakePoint(40, 150, 48.5L, 14.1L, 0));
        ProjectionDialog dialog(f.window.get(), "", points);
        QVERIFY(dialog.SuggestButton().isEnabled());
        dialog.Suggest();
        const QFuture<std::vector<RankedProjection>> first = dialog.Ranking();
        dialog.Suggest();
        QVERIFY(first.isCanceled());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Ranking().isFinished(), 60000);
        QTRY_VERIFY(dialog.Suggestions().topLevelItemCount() > 1);
        QVERIFY(!dialog.Suggestions().findItems("Degrees (none)", Qt::MatchExactly, 2).isEmpty());
        // A row taken fills the field with its definition.
        QTreeWidgetItem *top = dialog.Suggestions().topLevelItem(0);
        emit dialog.Suggestions().itemClicked(top, 0);
        if (top->text(3).isEmpty())
            QVERIFY(dialog.Degrees().isChecked());
        else
            QCOMPARE(dialog.Typed().text(), top->text(3));
    }

    void bothMappingsFiguresShowAndTheBetterOneIsOffered()
    {
        // Nine points of a map turned by 5 degrees: the two nearest points cannot turn.
        std::vector<TCalibPoint> points;
        const double a = 5 * M_PI / 180;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) {
                const int x = 30 + 110 * i, y = 20 + 80 * j;
                points.push_back(MakePoint(x, y, 50 - (y * std::cos(a) - x * std::sin(a)) * 1e-3L,
                                           14 + (x * std::cos(a) + y * std::sin(a)) * 1.5e-3L, 0));
            }
        Started f(test::CalibrationBytes(300, 200, points));
        PointsWindow &window = f.window->ShowPointsWindow();
        MappingFigures &figures = window.Figures();
        QVERIFY(figures.BestFit().text().startsWith("Best fit (affine, 9 points): each point left "
                                                    "out lands 0.0 px off (RMS)"));
        QVERIFY(!figures.SwitchButton().isHidden());
        QCOMPARE(figures.SwitchButton().text(), QString("Use the best fit"));
        QVERIFY(figures.PairFaults().isHidden());
        figures.SwitchButton().click();
        QCOMPARE(f.window->Document().Mapping().Kind(), MappingKind::BestFit);
        QVERIFY(figures.SwitchButton().isHidden());

        // Two points on one parallel, far apart: the pair the nearest points cannot divide by.
        f.window->Document().Mapping().SetKind(MappingKind::TwoNearest);
        f.window->Document().Save(290, 190, points[0].Lat, 14.9L);
        QVERIFY(figures.PairFaults().text().contains("points 1 and 10 share the latitude"));
    }
};

QTEST_MAIN(PointEntryTest)
#include "PointEntry_test.moc"
