#include "ui/TfrmMain.h"

#include "calibration/CalibrationFile.h"
#include "calibration/CalibrationKeeper.h"
#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"
#include "gpx/GpxLoader.h"
#include "gpx/WaypointOverlay.h"
#include "ui/ErrorHandler.h"
#include "ui/OpenGpxDialog.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PictureSurface.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <filesystem>

#ifndef CARTEVA_MAP_HOST
#define CARTEVA_MAP_HOST "localhost"
#endif

namespace carteva {

TfrmMain *frmMain = nullptr;
bool FirstActivation = true;

namespace {

constexpr int kPanelHeight = 41;
constexpr int kMinimumOuterWidth = 680;
constexpr int kOuterWidthAroundPicture = 60;
constexpr int kOuterHeightAroundPicture = 110;

std::u16string_view Utf16(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()),
            static_cast<std::size_t>(text.size())};
}

QString FromUtf16(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::filesystem::path FilePath(const QString &fileName)
{
    return std::filesystem::path(fileName.toStdU16String());
}

// The busy cursor while a large GPX file loads and draws; a message box shows the normal one.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

template<class Control>
Control *Place(Control *control, const char *name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Navelin - Carteva"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    setFont(font);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    BuildControls();
    move(150, 80);
    resize(676, 476);

    // Log-off asks the window too; the points stay, should the log-off be called off.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { Guarded([this] { CommitData(); }); });
}

TfrmMain::~TfrmMain()
{
    if (frmMain == this)
        frmMain = nullptr;
}

void TfrmMain::BuildControls()
{
    Image1 = Place(new PictureView(this), "Image1", 16, 58, 633, 410);
    Panel1 = Place(new QFrame(this), "Panel1", 0, 0, 676, kPanelHeight);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    pnlRightTop = Place(new QFrame(Panel1), "pnlRightTop", 569, 1, 106, 39);
    pnlRightTop->setFrameStyle(QFrame::NoFrame);
    stCurrentPos = Place(new QLabel(pnlRightTop), "stCurrentPos", 8, 13, 81, 17);
    stCurrentPos->setAlignment(Qt::AlignRight | Qt::AlignTop);
    edX = Place(new QLineEdit(Panel1), "edX", 60, 11, 41, 21);
    edY = Place(new QLineEdit(Panel1), "edY", 120, 11, 41, 21);
    edLat = Place(new QLineEdit(Panel1), "edLat", 232, 11, 65, 21);
    edLon = Place(new QLineEdit(Panel1), "edLon", 303, 11, 65, 21);
    Label1 = Place(new QLabel(QStringLiteral("Coords:"), Panel1), "Label1", 16, 14, 38, 13);
    Label2 = Place(new QLabel(QStringLiteral("x"), Panel1), "Label2", 107, 14, 6, 13);
    Label3 = Place(new QLabel(QStringLiteral("Lat / Lon:"), Panel1), "Label3", 180, 14, 46, 13);
    btSave = Place(new QPushButton(QStringLiteral("Save"), Panel1), "btSave", 374, 9, 43, 25);
    btSave->setCursor(Qt::PointingHandCursor);
    BitBtn1 = Place(new QPushButton(QStringLiteral("Open map"), Panel1), "BitBtn1", 423, 9, 59, 25);
    btOpenGPX = Place(new QPushButton(QStringLiteral("GPX"), Panel1), "btOpenGPX", 488, 9, 33, 25);
    for (QPushButton *button : {btSave, BitBtn1, btOpenGPX}) {
        // No default button: Enter and Escape trigger nothing.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QLabel *label : {Label1, Label2, Label3, stCurrentPos})
        label->setFocusPolicy(Qt::NoFocus);
    // The labels size themselves to their text: with a substitute for Tahoma the designed widths
    // would clip it.
    for (QLabel *label : {Label1, Label2, Label3})
        label->adjustSize();
    Panel1->setFocusPolicy(Qt::NoFocus);
    pnlRightTop->setFocusPolicy(Qt::NoFocus);
    setTabOrder(edX, edY);
    setTabOrder(edY, edLat);
    setTabOrder(edLat, edLon);
    setTabOrder(edLon, btSave);
    setTabOrder(btSave, BitBtn1);
    setTabOrder(BitBtn1, btOpenGPX);
    edX->setFocus();

    connect(Image1, &PictureView::MouseMoved, this,
            [this](Qt::KeyboardModifiers shift, int x, int y) {
                Guarded([&] { Image1MouseMove(shift, x, y); });
            });
    connect(Image1, &PictureView::Clicked, this, [this] { Guarded([this] { Image1Click(); }); });
    connect(btSave, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveClick(); }); });
    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(btOpenGPX, &QPushButton::clicked, this,
            [this] { Guarded([this] { btOpenGPXClick(); }); });
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    DockPanels();
}

void TfrmMain::DockPanels()
{
    // Panel1 is docked to the top, pnlRightTop to Panel1's right edge inside its bevel.
    Panel1->setGeometry(0, 0, width(), kPanelHeight);
    pnlRightTop->move(Panel1->width() - 1 - pnlRightTop->width(), 1);
}

void TfrmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    // The start-up runs once the window is on screen, as its first activation.
    QTimer::singleShot(0, this, [this] { Guarded([this] { FormActivate(); }); });
}

void TfrmMain::FormActivate()
{
    if (!FirstActivation)
        return;
    Points.clear();
    if (!OpenPictureDialog1)
        OpenPictureDialog1 = new OpenPictureDialog(this);
    const std::optional<QString> chosen = Platform::Current().RunFileDialog(*OpenPictureDialog1);
    if (!chosen) {
        Platform::Current().ShowMessage(this,
                                        QStringLiteral("It is necessary to open a bitmap on start"),
                                        QStringLiteral("Error"), QMessageBox::NoIcon);
        Platform::Current().Quit(0);
        return;
    }
    BitmapFileName = *chosen;
    Image1->LoadFromFile(BitmapFileName);
    SizeAroundPicture();
    FirstActivation = false;
    LoadCalibration();
}

QMargins TfrmMain::FrameMargins()
{
    QWindow *window = windowHandle();
    if (!window)
        return {};
    // The window manager frames the window some time after it is shown; with none, there is no
    // frame and the margins stay 0.
    QElapsedTimer waited;
    waited.start();
    while (window->frameMargins().isNull() && waited.elapsed() < 500
           && QGuiApplication::platformName() == QLatin1String("xcb"))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return window->frameMargins();
}

void TfrmMain::SizeAroundPicture()
{
    const QMargins frame = FrameMargins();
    const int horizontalFrame = frame.left() + frame.right();
    const int verticalFrame = frame.top() + frame.bottom();
    // A window is never made larger than the desktop, as window systems commonly enforce: beyond
    // it nothing could be seen or clicked, and a 12000-pixel window would cost a backing store
    // of half a gigabyte and a full paint for nothing.
    const QSize desktop = screen() ? screen()->virtualSize() : QSize(INT_MAX, INT_MAX);
    const auto fitWidth = [&](int outer) { return std::min(outer, desktop.width()); };
    // Outer sizes (frame included); width before height, the top-left corner stays.
    int outerWidth = Image1->width() + kOuterWidthAroundPicture;
    resize(fitWidth(outerWidth) - horizontalFrame, height());
    if (outerWidth < kMinimumOuterWidth) {
        outerWidth = kMinimumOuterWidth;
        resize(fitWidth(outerWidth) - horizontalFrame, height());
    }
    const int outerHeight = Image1->height() + kOuterHeightAroundPicture;
    resize(width(), std::min(outerHeight, desktop.height()) - verticalFrame);
    // A hidden window gets its resize event only when shown; the panels follow at once.
    DockPanels();
}

void TfrmMain::Image1MouseMove(Qt::KeyboardModifiers, int x, int y)
{
    stCurrentPos->setText(FromUtf16(FormatInteger(x)) + QStringLiteral(" x ")
                          + FromUtf16(FormatInteger(y)));
    LastX = x;
    LastY = y;
}

void TfrmMain::Image1Click()
{
    const int i = FindPoint(Points, LastX, LastY);
    if (i >= 0) {
        const TCalibPoint &point = Points[static_cast<std::size_t>(i)];
        edX->setText(FromUtf16(FormatInteger(point.X)));
        edY->setText(FromUtf16(FormatInteger(point.Y)));
        edLat->setText(FromUtf16(FormatCoordinate(6, point.Lat)));
        edLon->setText(FromUtf16(FormatCoordinate(6, point.Lon)));
    } else {
        edX->setText(FromUtf16(FormatInteger(LastX)));
        edY->setText(FromUtf16(FormatInteger(LastY)));
        edLat->clear();
        edLon->clear();
    }
}

void TfrmMain::btSaveClick()
{
    const std::int32_t y = ParseInteger(Utf16(edY->text()));
    const std::int32_t x = ParseInteger(Utf16(edX->text()));
    // Both coordinates are checked and converted before anything changes, so a refused or
    // overflowing text leaves the points and the fields as they were.
    const QString latText = edLat->text();
    const QString lonText = edLon->text();
    if (!IsDecimalNumber(Utf16(latText)))
        throw EConvertError::NotAFloat(Utf16(latText));
    if (!IsDecimalNumber(Utf16(lonText)))
        throw EConvertError::NotAFloat(Utf16(lonText));
    const Extended lat = ParseDecimal(Utf16(latText));
    const Extended lon = ParseDecimal(Utf16(lonText));

    const int i = FindPoint(Points, x, y);
    if (i < 0) {
        TCalibPoint point;
        point.X = x;
        point.Y = y;
        point.Lat = lat;
        point.Lon = lon;
        Points.push_back(point);
    } else {
        TCalibPoint &point = Points[static_cast<std::size_t>(i)];
        point.Lat = lat;
        point.Lon = lon;
        point.X = x;
        point.Y = y;
    }
    keeper_.PointSaved();
    edX->clear();
    edY->clear();
    edLat->clear();
    edLon->clear();
    DrawPointMarks();
}

QUrl TfrmMain::MapPageUrl()
{
    return QUrl(QStringLiteral("http://" CARTEVA_MAP_HOST "/gmaps/google_maps.php"));
}

void TfrmMain::SpeedButton1Click()
{
    Platform::Current().OpenUrl(MapPageUrl());
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    Guarded([&] { FormCloseQuery(canClose); });
    // The close is always allowed, also after a failed save.
    event->accept();
}

void TfrmMain::FormCloseQuery(bool &canClose)
{
    SaveCalibration();
    canClose = true;
}

void TfrmMain::CommitData()
{
    bool canClose = true;
    FormCloseQuery(canClose);
}

QString TfrmMain::CalibrationFileName() const
{
    return FromUtf16(carteva::CalibrationFileName(Utf16(BitmapFileName)));
}

void TfrmMain::LoadCalibration()
{
    try {
        if (keeper_.Read(FilePath(CalibrationFileName()), Points)
            != CalibrationReadResult::Complete)
            throw Error("Cannot load calibration");
        DrawPointMarks();
    } catch (...) {
        Platform::Current().ShowMessage(this, QStringLiteral("Cannot load calibration"),
                                        QStringLiteral("Error"), QMessageBox::Warning);
    }
}

void TfrmMain::SaveCalibration()
{
    // Without a chosen bitmap there is no file to write.
    if (BitmapFileName.isEmpty())
        return;
    try {
        keeper_.Write(FilePath(CalibrationFileName()), Image1->width(), Image1->height(), Points);
    } catch (...) {
        Platform::Current().ShowMessage(this, QStringLiteral("Cannot save calibration"),
                                        QStringLiteral("Error"), QMessageBox::Warning);
    }
}

void TfrmMain::DrawPointMarks()
{
    PictureSurface surface(*Image1);
    carteva::DrawPointMarks(Points, surface);
}

void TfrmMain::btOpenGPXClick()
{
    if (!OpenGPXDialog)
        OpenGPXDialog = new OpenGpxDialog(this);
    const std::optional<QString> chosen = Platform::Current().RunFileDialog(*OpenGPXDialog);
    if (!chosen)
        return;
    OpenGPXDialog->RememberChoice(*chosen);
    BusyCursor busy;
    // The whole file is parsed before anything changes: a failure keeps the document and the
    // picture as they were.
    GpxLoader loader;
    GpxDocument = std::make_unique<carteva::GpxDocument>(loader.Load(FilePath(*chosen), Points));
    DrawWaypoints();
}

void TfrmMain::DrawWaypoints()
{
    Image1->RepaintNow();
    if (!GpxDocument)
        return;
    PictureSurface surface(*Image1);
    // One warning per overlay, at the first waypoint that cannot be mapped: a box per waypoint
    // would make a large file impossible to get through.
    carteva::DrawWaypoints(*GpxDocument, Points, surface, [this] {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        Platform::Current().ShowMessage(this,
                                        QStringLiteral("Incorrect calibration or calculation"),
                                        QStringLiteral("Error"), QMessageBox::Warning);
        QApplication::restoreOverrideCursor();
    });
}

} // namespace carteva
