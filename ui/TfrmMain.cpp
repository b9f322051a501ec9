// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/TfrmMain.h"

#include "calibration/CalibrationFile.h"
#include "calibration/Errors.h"
#include "calibration/Mapping.h"
#include "calibration/NumberText.h"
#include "calibration/PixelSurface.h"
#include "gpx/GpxOverlay.h"
#include "picture/PathCrossing.h"
#include "ui/EnteredPoint.h"
#include "ui/ErrorHandler.h"
#include "ui/GpxOverlayLayer.h"
#include "ui/GpxOverlayLoader.h"
#include "ui/MapPageOpener.h"
#include "ui/MappingChoice.h"
#include "ui/OpenGpxDialog.h"
#include "ui/OpenPictureDialog.h"
#include "ui/OuterSizer.h"
#include "ui/PictureContextMenu.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureSurface.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"
#include "ui/PointEdits.h"
#include "ui/PointTools.h"
#include "ui/PositionPaste.h"
#include "ui/TextCrossing.h"
#include "ui/UndrawnLinesNotice.h"

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
#include <QUndoStack>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace carteva {

TfrmMain *frmMain = nullptr;
bool FirstActivation = true;

namespace {

Q_LOGGING_CATEGORY(lcCalibration, "carteva.calibration")

constexpr int kPanelHeight = 41;
constexpr int kMinimumOuterWidth = 680;
constexpr int kOuterWidthAroundPicture = 60;
constexpr int kOuterHeightAroundPicture = 110;

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
    tools_ = new PointTools(*this, ui);
    outerSizer_ = new OuterSizer(*this);
    overlays_ = new GpxOverlayLayer(*ui.Image1);
    gpxLoader_ = new GpxOverlayLoader(
        *this, [this](GpxOverlay loaded) { OverlayLoaded(std::move(loaded)); });
    tools_->Menu().AddAction(gpxLoader_->DrawTracksAndRoutes());
    linesNotice_
        = new UndrawnLinesNotice(*this, *ui.stCurrentPos, *gpxLoader_->DrawTracksAndRoutes());
    move(150, 80);
    resize(676, 476);

    // Log-off asks the window too; the points stay, should the log-off be called off.
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &) { Guarded([this] { CommitData(); }); });
}

TfrmMain::~TfrmMain()
{
    // The point tools read Points, which go before the child widgets do.
    delete tools_;
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
    new PositionPaste(*ui.edLat, *ui.edLon);
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
    store_.Claim(this, CalibrationFileName());
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
    const EnteredPoint point = EnteredPoint::Read(ui);

    // The fields lose their typing with the Save: Ctrl+Z then undoes the Save itself.
    for (QLineEdit *field : {ui.edX, ui.edY, ui.edLat, ui.edLon})
        field->setText(QString());
    // One undo step; it writes the file at once, so a crash or a kill loses nothing saved.
    tools_->Edits().Save(point.X, point.Y, point.Lat, point.Lon);
}

void TfrmMain::PointsEdited(bool marksOnly)
{
    // The list reaches the file whatever the drawing does (an icon cannot be drawn on); a drawing
    // failure is reported after that.
    std::exception_ptr drawing;
    if (marksOnly) {
        try {
            DrawPointMarks();
        } catch (...) {
            drawing = std::current_exception();
        }
        SaveCalibration();
    } else {
        SaveCalibration();
        try {
            RepaintPicture();
        } catch (...) {
            drawing = std::current_exception();
        }
    }
    emit PointsChanged();
    if (drawing)
        ErrorHandler::Handle(drawing);
}

void TfrmMain::SpeedButton1Click()
{
    MapPageOpener().Open(Points, *ui.PictureArea, tools_->Mapping().Kind());
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    Guarded([&] { FormCloseQuery(canClose); });
    // The close is allowed also after a failed save, unless the user keeps points that exist
    // nowhere else.
    if (!canClose) {
        event->ignore();
        return;
    }
    store_.Release();
    event->accept();
}

void TfrmMain::FormCloseQuery(bool &canClose)
{
    SaveCalibration();
    canClose = store_.MayClose(this, Points.size());
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
        if (store_.Keeper().Read(StdPath(fileName), Points) == CalibrationReadResult::Complete) {
            emit PointsChanged();
            DrawPointMarks();
            return;
        }
        reason = QString::fromStdString(store_.Keeper().ReadFailure());
    } catch (...) {
        reason = fileName + QStringLiteral(": drawing the marks: ")
            + ErrorHandler::MessageOf(std::current_exception());
    }
    emit PointsChanged();
    qCWarning(lcCalibration, "Cannot load calibration: %s", qUtf8Printable(reason));
    Platform::Current().ShowMessage(this, QStringLiteral("Cannot load calibration"),
                                    QStringLiteral("Error"), QMessageBox::Warning);
}

void TfrmMain::SaveCalibration()
{
    // Without a chosen bitmap there is no file to write.
    if (BitmapFileName.isEmpty())
        return;
    // The picture's own size: the view's is the zoomed one.
    const QSize size = ui.Image1->PictureSize();
    if (store_.Save(this, CalibrationFileName(), size.width(), size.height(), Points)) {
        // Another writer's points came in or went: the picture shows the merged list. The undo
        // steps name places in the list as it was, so they go (once the step that may be running
        // now is over).
        emit PointsChanged();
        RepaintPicture();
        QMetaObject::invokeMethod(&tools_->Edits().Stack(), &QUndoStack::clear,
                                  Qt::QueuedConnection);
    }
}

void TfrmMain::DrawPointMarks()
{
    PictureSurface surface(*ui.Image1);
    carteva::DrawPointMarks(Points, surface);
}

void TfrmMain::RepaintPicture()
{
    if (!ui.Image1->RestoreOriginalPixels())
        return;
    try {
        overlays_->PaintAll(tools_->Mapping().Kind(), Points, gpxLoader_->DrawsTracksAndRoutes());
    } catch (const Error &error) {
        // The marks still go on top; the pixels before the failing waypoint stay.
        qCWarning(lcCalibration, "Waypoints not all drawn again: %s", error.what());
    }
    DrawPointMarks();
}

void TfrmMain::ClearWaypoints()
{
    overlays_->Clear();
    RepaintPicture();
}

std::size_t TfrmMain::OverlayCountForTest() const
{
    return overlays_->Count();
}

void TfrmMain::btOpenGPXClick()
{
    if (gpxLoader_->Busy())
        return;
    if (!ui.OpenGPXDialog) {
        ui.OpenGPXDialog = new OpenGpxDialog(this);
        ui.OpenGPXDialog->ShareDrawLines(*gpxLoader_->DrawTracksAndRoutes());
    }
    const std::optional<QString> chosen = Platform::Current().RunFileDialog(*ui.OpenGPXDialog);
    if (!chosen)
        return;
    ui.OpenGPXDialog->RememberChoice(*chosen);
    // The whole file is parsed before anything changes: a failure or a cancel keeps the document
    // and the picture as they were.
    gpxLoader_->Start(*chosen, tools_->Mapping().Kind(), Points);
}

void TfrmMain::OverlayLoaded(GpxOverlay overlay)
{
    ui.Image1->RepaintNow();
    const bool lines = gpxLoader_->DrawsTracksAndRoutes();
    if (overlay.LinesLeftOut() && !lines)
        linesNotice_->Tell();
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
    overlays_->Add(std::move(overlay), tools_->Mapping().Kind(), Points, lines, warn);
}

} // namespace carteva
