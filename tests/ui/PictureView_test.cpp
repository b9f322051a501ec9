#include "calibration/Errors.h"
#include "picture/Picture.h"
#include "ui/PictureSurface.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

using namespace carteva;

namespace {

QImage Filled(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QImage PaletteImage(QImage::Format format, const QList<QRgb> &palette)
{
    QImage image(4, 4, format);
    image.setColorTable(palette);
    image.fill(0);
    return image;
}

QString MessageOfSetPixel(PictureView &view, std::int64_t x, std::int64_t y)
{
    try {
        view.SetPixel(x, y, ColourRed);
    } catch (const Error &error) {
        return QString::fromStdString(error.what());
    }
    return QString();
}

} // namespace

class PictureViewTest : public QObject
{
    Q_OBJECT

private slots:
    void ViewTakesTheSizeOfPicturesWithArea_data();
    void ViewTakesTheSizeOfPicturesWithArea();
    void FailedLoadKeepsPictureAndSize();
    void ViewShowsPictureUnscaledFromTopLeft();
    void FirstDrawingWithoutPictureMakesWhiteBitmapOfViewSize();
    void DrawingOnIconOrMetafileFails_data();
    void DrawingOnIconOrMetafileFails();
    void PaletteBitmapStoresNearestColour_data();
    void PaletteBitmapStoresNearestColour();
    void PixelsOutsideThePictureArePassedOver_data();
    void PixelsOutsideThePictureArePassedOver();
    void SurfacePaintsOnTheView();
    void PointerMovesReportPicturePixelsAndModifiers();
    void DragOutsideReportsPositionsBeyondTheView();
    void ClickNeedsLeftPressAndReleaseInside_data();
    void ClickNeedsLeftPressAndReleaseInside();
};

void PictureViewTest::ViewTakesTheSizeOfPicturesWithArea_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("100 x 100") << QSize(100, 100) << QSize(100, 100);
    QTest::newRow("larger than at start") << QSize(1000, 700) << QSize(1000, 700);
    QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1);
    QTest::newRow("empty picture") << QSize(0, 0) << PictureView::StartSize;
}

void PictureViewTest::ViewTakesTheSizeOfPicturesWithArea()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, viewSize);
    QWidget window;
    PictureView view(&window);
    view.move(16, 58);
    QCOMPARE(view.size(), PictureView::StartSize);

    const QImage image = pictureSize.isEmpty() ? QImage() : Filled(pictureSize, qRgb(1, 2, 3));
    view.SetPicture(Picture(PictureKind::Metafile, image));
    QCOMPARE(view.size(), viewSize);
    QCOMPARE(view.pos(), QPoint(16, 58));
}

void PictureViewTest::FailedLoadKeepsPictureAndSize()
{
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, Filled({100, 100}, qRgb(9, 9, 9))));
    const qint64 key = view.GetPicture().Image().cacheKey();

    QVERIFY_THROWS_EXCEPTION(Error, view.LoadFromFile(QStringLiteral("/nonexistent/map.bmp")));
    QCOMPARE(view.GetPicture().Image().cacheKey(), key);
    QCOMPARE(view.size(), QSize(100, 100));
}

void PictureViewTest::ViewShowsPictureUnscaledFromTopLeft()
{
    QImage image = Filled({40, 30}, qRgb(0, 0, 255));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(39, 29, qRgb(0, 255, 0));
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, image));
    view.SetPixel(20, 10, ColourOrange);

    const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(40, 30));
    QCOMPARE(shown.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(39, 29), qRgb(0, 255, 0));
    QCOMPARE(shown.pixel(20, 10), qRgb(255, 128, 0));
    QCOMPARE(shown.pixel(5, 5), qRgb(0, 0, 255));
}

void PictureViewTest::FirstDrawingWithoutPictureMakesWhiteBitmapOfViewSize()
{
    PictureView view;
    QVERIFY(view.GetPicture().IsEmpty());

    QVERIFY(view.SetPixel(3, 4, ColourRed));
    const Picture &picture = view.GetPicture();
    QCOMPARE(picture.Kind(), PictureKind::Bitmap);
    QCOMPARE(picture.Image().size(), PictureView::StartSize);
    QCOMPARE(picture.Image().pixel(3, 4), qRgb(255, 0, 0));
    QCOMPARE(picture.Image().pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(picture.Image().pixel(632, 409), qRgb(255, 255, 255));
    QCOMPARE(view.size(), PictureView::StartSize);
}

void PictureViewTest::DrawingOnIconOrMetafileFails_data()
{
    QTest::addColumn<PictureKind>("kind");
    QTest::addColumn<QPoint>("pixel");
    QTest::newRow("icon") << PictureKind::Icon << QPoint(1, 1);
    QTest::newRow("metafile") << PictureKind::Metafile << QPoint(1, 1);
    QTest::newRow("metafile, pixel outside") << PictureKind::Metafile << QPoint(-5, 1);
    QTest::newRow("empty metafile") << PictureKind::Metafile << QPoint(0, 0);
}

void PictureViewTest::DrawingOnIconOrMetafileFails()
{
    QFETCH(PictureKind, kind);
    QFETCH(QPoint, pixel);
    PictureView view;
    const QImage image = pixel == QPoint(0, 0) ? QImage() : Filled({8, 8}, qRgb(0, 0, 0));
    view.SetPicture(Picture(kind, image));

    QCOMPARE(MessageOfSetPixel(view, pixel.x(), pixel.y()),
             QStringLiteral("Can only modify an image if it contains a bitmap"));
    QCOMPARE(view.GetPicture().Kind(), kind);
}

void PictureViewTest::PaletteBitmapStoresNearestColour_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<Colour>("colour");
    QTest::addColumn<int>("index");

    const QList<QRgb> colours {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(128, 0, 0),
                               qRgb(255, 160, 0)};
    const QList<QRgb> blackAndWhite {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    const QImage indexed = PaletteImage(QImage::Format_Indexed8, colours);
    QTest::newRow("8 bit, red") << indexed << ColourRed << 2;
    QTest::newRow("8 bit, orange") << indexed << ColourOrange << 3;
    QTest::newRow("8 bit, exact white") << indexed << Colour(0xFFFFFF) << 1;
    QTest::newRow("1 bit, red is nearer black")
        << PaletteImage(QImage::Format_Mono, blackAndWhite) << ColourRed << 0;
    QTest::newRow("1 bit, orange is nearer white")
        << PaletteImage(QImage::Format_Mono, blackAndWhite) << ColourOrange << 1;
    QTest::newRow("1 bit LSB, orange is nearer white")
        << PaletteImage(QImage::Format_MonoLSB, blackAndWhite) << ColourOrange << 1;
}

void PictureViewTest::PaletteBitmapStoresNearestColour()
{
    QFETCH(QImage, image);
    QFETCH(Colour, colour);
    QFETCH(int, index);
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, image));

    QVERIFY(view.SetPixel(2, 1, colour));
    const QImage &result = view.GetPicture().Image();
    QCOMPARE(result.format(), image.format());
    QCOMPARE(result.pixelIndex(2, 1), index);
    QCOMPARE(result.pixelIndex(1, 1), 0);
}

void PictureViewTest::PixelsOutsideThePictureArePassedOver_data()
{
    QTest::addColumn<qint64>("x");
    QTest::addColumn<qint64>("y");
    QTest::newRow("left") << qint64(-1) << qint64(0);
    QTest::newRow("above") << qint64(0) << qint64(-1);
    QTest::newRow("right") << qint64(10) << qint64(0);
    QTest::newRow("below") << qint64(0) << qint64(5);
    QTest::newRow("beyond 32 bits") << qint64(1) + std::numeric_limits<int>::max() << qint64(0);
    QTest::newRow("far negative") << std::numeric_limits<qint64>::min() << qint64(2);
}

void PictureViewTest::PixelsOutsideThePictureArePassedOver()
{
    QFETCH(qint64, x);
    QFETCH(qint64, y);
    PictureView view;
    const QImage before = Filled({10, 5}, qRgb(7, 7, 7));
    view.SetPicture(Picture(PictureKind::Bitmap, before.copy()));

    QVERIFY(!view.SetPixel(x, y, ColourRed));
    QCOMPARE(view.GetPicture().Image(), before);
}

void PictureViewTest::SurfacePaintsOnTheView()
{
    PictureView view;
    view.SetPicture(Picture(PictureKind::Bitmap, Filled({10, 5}, qRgb(0, 0, 0))));
    PictureSurface surface(view);
    PixelSurface &model = surface;

    QVERIFY(model.SetPixel(9, 4, ColourOrange));
    QVERIFY(!model.SetPixel(10, 4, ColourOrange));
    QCOMPARE(view.GetPicture().Image().pixel(9, 4), qRgb(255, 128, 0));
}

void PictureViewTest::PointerMovesReportPicturePixelsAndModifiers()
{
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(view.cursor().shape(), Qt::CrossCursor);
    QSignalSpy moves(&view, &PictureView::MouseMoved);

    QTest::mouseMove(&view, QPoint(5, 7));
    QTRY_VERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().at(1).toInt(), 5);
    QCOMPARE(moves.last().at(2).toInt(), 7);

    QMouseEvent shifted(QEvent::MouseMove, QPointF(20, 30), view.mapToGlobal(QPointF(20, 30)),
                        Qt::NoButton, Qt::NoButton, Qt::ShiftModifier);
    QApplication::sendEvent(&view, &shifted);
    QCOMPARE(moves.last().at(0).value<Qt::KeyboardModifiers>(),
             Qt::KeyboardModifiers(Qt::ShiftModifier));
    QCOMPARE(moves.last().at(1).toInt(), 20);
    QCOMPARE(moves.last().at(2).toInt(), 30);
}

void PictureViewTest::DragOutsideReportsPositionsBeyondTheView()
{
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy moves(&view, &PictureView::MouseMoved);
    QSignalSpy clicks(&view, &PictureView::Clicked);

    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(&view, QPoint(-10, -3));
    QTRY_VERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().at(1).toInt(), -10);
    QCOMPARE(moves.last().at(2).toInt(), -3);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(-10, -3));
    QCOMPARE(clicks.count(), 0);
}

void PictureViewTest::ClickNeedsLeftPressAndReleaseInside_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left inside") << Qt::LeftButton << QPoint(5, 5) << QPoint(6, 5) << 1;
    QTest::newRow("left, released outside")
        << Qt::LeftButton << QPoint(5, 5) << QPoint(5, 700) << 0;
    QTest::newRow("right inside") << Qt::RightButton << QPoint(5, 5) << QPoint(5, 5) << 0;
}

void PictureViewTest::ClickNeedsLeftPressAndReleaseInside()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, press);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);
    QWidget window;
    window.resize(700, 500);
    PictureView view(&window);
    view.move(16, 58);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(&view, &PictureView::Clicked);

    QTest::mousePress(&view, button, {}, press);
    QTest::mouseMove(&view, release);
    QTest::mouseRelease(&view, button, {}, release);
    QCOMPARE(clicked.count(), clicks);
}

QTEST_MAIN(PictureViewTest)
#include "PictureView_test.moc"
