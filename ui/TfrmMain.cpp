// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/TfrmMain.h"

#include "calibration/CalibrationFile.h"
#include "calibration/CalibrationKeeper.h"
#include "calibration/Errors.h"
#include "calibration/Mapping.h"
#include "calibration/NumberText.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxDocument.h"
#include "gpx/WaypointOverlay.h"
#include "ui/ErrorHandler.h"
#include "ui/GpxOverlayLoader.h"
#include "ui/OpenGpxDialog.h"
#include "ui/OpenPictureDialog.h"
#include "ui/OuterSizer.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureSurface.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <utility>

#ifndef CARTEVA_MAP_HOST
#define CARTEVA_MAP_HOST "localhost"
#endif

namespace carteva {

TfrmMain *frmMain = nullptr;
bool FirstActivation = true;

namespace {

Q_LOGGING_CATEGORY(lcCalibration, "carteva.calibration")

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

// The mapping the overlay maps with.
MappingKind MappingInUse()
{
    return MappingKind::TwoNearest;
}

QUrl MapPageUrl()
{
    return QUrl(QStringLiteral("http://" CARTEVA_MAP_HOST "/gmaps/google_maps.php"));
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
    ui.SetupUi(*this);
    ConnectControls();
    outerSizer_ = new OuterSizer(*this);
    gpxLoader_ = new GpxOverlayLoader(*this, [this](std::unique_ptr<carteva::GpxDocument> loaded) {
        GpxDocument = std::move(loaded);
        DrawWaypoints();
    });
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

void TfrmMain::ConnectControls()
{
    connect(ui.Image1, &PictureView::MouseMoved, this,
            [this](Qt::KeyboardModifiers shift, int x, int y) {
                Guarded([&] { Image1MouseMove(shift, x, y); });
            });
    connect(ui.Image1, &PictureView::Clicked, this, [this] { Guarded([this] { Image1Click(); }); });
    connect(ui.btSave, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveClick(); }); });
    connect(ui.BitBtn1, &QPushButton::clicked, this,
            [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(ui.btOpenGPX, &QPushButton::clicked, this,
            [this] { Guarded([this] { btOpenGPXClick(); }); });
    ui.PictureArea->AddZoomShortcuts(*this);
}

void TfrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    DockPanels();
}

void TfrmMain::DockPanels()
{
    // Panel1 is docked to the top, pnlRightTop to Panel1's right edge inside its bevel.
    ui.Panel1->setGeometry(0, 0, width(), kPanelHeight);
    ui.pnlRightTop->move(ui.Panel1->width() - 1 - ui.pnlRightTop->width(), 1);
    // The picture's area keeps its top-left corner and reaches to the right and bottom edges.
    const QPoint corner = ui.PictureArea->pos();
    ui.PictureArea->resize(std::max(0, width() - corner.x()), std::max(0, height() - corner.y()));
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
    if (!ui.OpenPictureDialog1)
        ui.OpenPictureDialog1 = new OpenPictureDialog(this);
    const std::optional<QString> chosen = Platform::Current().RunFileDialog(*ui.OpenPictureDialog1);
    if (!chosen) {
        Platform::Current().ShowMessage(this,
                                        QStringLiteral("It is necessary to open a bitmap on start"),
                                        QStringLiteral("Error"), QMessageBox::NoIcon);
        Platform::Current().Quit(0);
        return;
    }
    BitmapFileName = *chosen;
    // The dialog's preview has usually decoded the file already.
    if (std::optional<Picture> decoded = ui.OpenPictureDialog1->TakeDecoded(BitmapFileName))
        ui.Image1->SetPicture(std::move(*decoded));
    else
        ui.Image1->LoadFromFile(BitmapFileName);
    SizeAroundPicture();
    FirstActivation = false;
    LoadCalibration();
}

void TfrmMain::SizeAroundPicture()
{
    // A window is never made larger than the desktop, as window systems commonly enforce: beyond
    // it nothing could be seen or clicked, and a 12000-pixel window would cost a backing store
    // of half a gigabyte and a full paint for nothing.
    const QSize desktop = screen() ? screen()->virtualSize() : QSize(INT_MAX, INT_MAX);
    // Outer sizes (frame included); the width is raised to its minimum, the height has none.
    const int outerWidth
        = std::max(ui.Image1->PictureSize().width() + kOuterWidthAroundPicture, kMinimumOuterWidth);
    const int outerHeight = ui.Image1->PictureSize().height() + kOuterHeightAroundPicture;
    outerSizer_->Apply(
        QSize(std::min(outerWidth, desktop.width()), std::min(outerHeight, desktop.height())));
    // A hidden window gets its resize event only when shown; the panels follow at once.
    DockPanels();
}

void TfrmMain::Image1MouseMove(Qt::KeyboardModifiers, int x, int y)
{
    ui.stCurrentPos->setText(FromUtf16(FormatInteger(x)) + QStringLiteral(" x ")
                             + FromUtf16(FormatInteger(y)));
    LastX = x;
    LastY = y;
}

void TfrmMain::Image1Click()
{
    const int i = FindPoint(Points, LastX, LastY);
    if (i >= 0) {
        const TCalibPoint &point = Points[static_cast<std::size_t>(i)];
        ui.edX->setText(FromUtf16(FormatInteger(point.X)));
        ui.edY->setText(FromUtf16(FormatInteger(point.Y)));
        ui.edLat->setText(FromUtf16(FormatCoordinate(6, point.Lat)));
        ui.edLon->setText(FromUtf16(FormatCoordinate(6, point.Lon)));
    } else {
        ui.edX->setText(FromUtf16(FormatInteger(LastX)));
        ui.edY->setText(FromUtf16(FormatInteger(LastY)));
        ui.edLat->clear();
        ui.edLon->clear();
    }
}

void TfrmMain::btSaveClick()
{
    const std::int32_t y = ParseInteger(Utf16(ui.edY->text()));
    const std::int32_t x = ParseInteger(Utf16(ui.edX->text()));
    // Both coordinates are checked and converted before anything changes, so a refused or
    // overflowing text leaves the points and the fields as they were.
    const QString latText = ui.edLat->text();
    const QString lonText = ui.edLon->text();
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
    ui.edX->clear();
    ui.edY->clear();
    ui.edLat->clear();
    ui.edLon->clear();
    DrawPointMarks();
    // A stored point reaches the file at once: a crash or a kill loses nothing that was saved.
    SaveCalibration();
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
    const QString fileName = CalibrationFileName();
    QString reason;
    try {
        if (keeper_.Read(FilePath(fileName), Points) == CalibrationReadResult::Complete) {
            DrawPointMarks();
            return;
        }
        reason = QString::fromStdString(keeper_.ReadFailure());
    } catch (...) {
        reason = fileName + QStringLiteral(": drawing the marks: ")
            + ErrorHandler::MessageOf(std::current_exception());
    }
    qCWarning(lcCalibration, "Cannot load calibration: %s", qUtf8Printable(reason));
    Platform::Current().ShowMessage(this, QStringLiteral("Cannot load calibration"),
                                    QStringLiteral("Error"), QMessageBox::Warning);
}

void TfrmMain::SaveCalibration()
{
    // Without a chosen bitmap there is no file to write.
    if (BitmapFileName.isEmpty())
        return;
    const QString fileName = CalibrationFileName();
    // The picture's own size: the view's is the zoomed one.
    const std::int32_t width = ui.Image1->PictureSize().width();
    const std::int32_t height = ui.Image1->PictureSize().height();
    try {
        keeper_.Write(FilePath(fileName), width, height, Points);
        // The file is in place; only its folder may not have reached the disk yet.
        if (!keeper_.WriteWarning().empty())
            qCWarning(lcCalibration, "Calibration saved, but: %s", keeper_.WriteWarning().c_str());
        return;
    } catch (...) {
        qCWarning(lcCalibration, "Cannot save calibration: %s",
                  qUtf8Printable(ErrorHandler::MessageOf(std::current_exception())));
    }
    QString text = QStringLiteral("Cannot save calibration");
    try {
        text += QStringLiteral("\nThe points were kept in %1.")
                    .arg(recoveryCopy_.Write(fileName, width, height, Points));
    } catch (...) {
        qCWarning(lcCalibration, "Cannot keep the points in a recovery copy either: %s",
                  qUtf8Printable(ErrorHandler::MessageOf(std::current_exception())));
    }
    Platform::Current().ShowMessage(this, text, QStringLiteral("Error"), QMessageBox::Warning);
}

void TfrmMain::DrawPointMarks()
{
    PictureSurface surface(*ui.Image1);
    carteva::DrawPointMarks(Points, surface);
}

void TfrmMain::btOpenGPXClick()
{
    if (gpxLoader_->Busy())
        return;
    if (!ui.OpenGPXDialog)
        ui.OpenGPXDialog = new OpenGpxDialog(this);
    const std::optional<QString> chosen = Platform::Current().RunFileDialog(*ui.OpenGPXDialog);
    if (!chosen)
        return;
    ui.OpenGPXDialog->RememberChoice(*chosen);
    // The whole file is parsed before anything changes: a failure or a cancel keeps the document
    // and the picture as they were.
    gpxLoader_->Start(*chosen, MappingInUse(), Points);
}

void TfrmMain::DrawWaypoints()
{
    ui.Image1->RepaintNow();
    if (!GpxDocument)
        return;
    PictureSurface surface(*ui.Image1);
    // One warning per overlay, at the first point that cannot be mapped: a box per waypoint
    // would make a large file impossible to get through.
    bool warned = false;
    const auto warn = [this, &warned] {
        if (std::exchange(warned, true))
            return;
        Platform::Current().ShowMessage(this,
                                        QStringLiteral("Incorrect calibration or calculation"),
                                        QStringLiteral("Error"), QMessageBox::Warning);
    };
    carteva::DrawWaypoints(*GpxDocument, MappingInUse(), Points, surface, warn);
    if (gpxLoader_->DrawsTracksAndRoutes()) {
        const QSize size = ui.Image1->PictureSize();
        carteva::DrawLines(*GpxDocument, MappingInUse(), Points, surface, size.width(),
                           size.height(), warn);
    }
}

} // namespace carteva
