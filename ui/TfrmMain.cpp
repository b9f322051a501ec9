// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/TfrmMain.h"

#include "calibration/Errors.h"
#include "calibration/Mapping.h"
#include "calibration/NumberText.h"
#include "calibration/Residuals.h"
#include "gpx/GpxOverlay.h"
#include "ui/CalibrationDocument.h"
#include "ui/CalibrationLog.h"
#include "ui/EnteredPoint.h"
#include "ui/ErrorHandler.h"
#include "ui/GpxOverlayLoader.h"
#include "ui/MapPageOpener.h"
#include "ui/MappingChoice.h"
#include "ui/OpenGpxDialog.h"
#include "ui/OpenPictureDialog.h"
#include "ui/OuterSizer.h"
#include "ui/PictureContextMenu.h"
#include "ui/PictureLayers.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"
#include "ui/PointsWindow.h"
#include "ui/PositionPaste.h"
#include "ui/ProjectionDialog.h"
#include "ui/ResidualLayer.h"
#include "ui/TextCrossing.h"
#include "ui/UndoKeys.h"
#include "ui/UndrawnLinesNotice.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScopedValueRollback>
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
#include <exception>
#include <utility>

namespace carteva {

TfrmMain *frmMain = nullptr;
bool FirstActivation = true;

namespace {

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
    ConnectPointTools();
    outerSizer_ = new OuterSizer(*this);
    layers_ = new PictureLayers(*ui.Image1);
    gpxLoader_ = new GpxOverlayLoader(
        *this, [this](GpxOverlay loaded) { OverlayLoaded(std::move(loaded)); });
    menu_->AddAction(gpxLoader_->DrawTracksAndRoutes());
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
    // The tool windows read the points, which go with the document before the child widgets do.
    ui.Image1->SetResidualLayer(nullptr);
    delete pointsWindow_;
    delete menu_;
    delete document_;
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
    connect(ui.Image1, &PictureView::PaintFailed, this, &ErrorHandler::Handle);
    connect(ui.btSave, &QPushButton::clicked, this, [this] { Guarded([this] { btSaveClick(); }); });
    connect(ui.BitBtn1, &QPushButton::clicked, this,
            [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(ui.btOpenGPX, &QPushButton::clicked, this,
            [this] { Guarded([this] { btOpenGPXClick(); }); });
    ui.PictureArea->AddZoomShortcuts(*this);
    new PositionPaste(*ui.edLat, *ui.edLon);
}

void TfrmMain::ConnectPointTools()
{
    document_ = new CalibrationDocument(*this);
    connect(document_, &CalibrationDocument::PointsChanged, this,
            [this](bool marksOnly) { Guarded([&] { ShowPoints(marksOnly); }); });
    // Waypoints follow the mapping at once.
    connect(&document_->Mapping(), &MappingChoice::Changed, this, [this] {
        Guarded([this] {
            RepaintPicture();
            ShowResiduals();
        });
    });
    undoKeys_ = new UndoKeys(*document_, this);
    addAction(undoKeys_->UndoAction());
    addAction(undoKeys_->RedoAction());
    for (QLineEdit *field : {ui.edX, ui.edY, ui.edLat, ui.edLon})
        undoKeys_->LetFieldUndoFirst(*field);
    menu_ = new PictureContextMenu(*this, *ui.Image1, *document_);
    connect(menu_, &PictureContextMenu::PointsWindowRequested, this,
            [this] { ShowPointsWindow(); });
    connect(menu_, &PictureContextMenu::ClearWaypointsRequested, this,
            [this] { Guarded([this] { ClearWaypoints(); }); });
    residuals_ = std::make_unique<ResidualLayer>();
    connect(menu_->ShowResidualsAction(), &QAction::toggled, this,
            [this] { Guarded([this] { ShowResiduals(); }); });
    connect(document_->Mapping().ProjectionAction(), &QAction::triggered, this, [this] {
        Guarded([this] {
            QWidget *parent = pointsWindow_ && pointsWindow_->isActiveWindow()
                ? static_cast<QWidget *>(pointsWindow_)
                : this;
            ProjectionDialog dialog(parent, document_->Mapping().ProjectionDefinition(),
                                    document_->Points());
            if (dialog.exec() == QDialog::Accepted)
                document_->Mapping().SetProjection(dialog.Definition());
        });
    });
}

PointsWindow &TfrmMain::ShowPointsWindow()
{
    if (!pointsWindow_) {
        pointsWindow_ = new PointsWindow(
            *this, ui, *document_,
            {undoKeys_->UndoAction(), undoKeys_->RedoAction(), menu_->PointsAction()});
    }
    pointsWindow_->show();
    Guarded([this] { ShowResiduals(); });
    pointsWindow_->raise();
    pointsWindow_->activateWindow();
    return *pointsWindow_;
}

void TfrmMain::ShowResiduals()
{
    const bool shown = menu_->ShowResidualsAction()->isChecked();
    if (shown) {
        const MappingSetup setup = document_->Mapping().Setup();
        residuals_->Rebuild(document_->Points(), ComputeResiduals(setup, document_->Points()),
                            ui.Image1->PictureSize());
    }
    ui.Image1->SetResidualLayer(shown ? residuals_.get() : nullptr);
    if (pointsWindow_)
        pointsWindow_->ShowResidualScale(shown ? residuals_->ScaleText() : QString());
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
    document_->Open(*chosen, ui.Image1->PictureSize());
    // The dialog's preview has usually decoded the file already.
    if (std::optional<Picture> decoded = ui.OpenPictureDialog1->TakeDecoded(*chosen))
        ui.Image1->SetPicture(std::move(*decoded));
    else
        ui.Image1->LoadFromFile(*chosen);
    // The picture's own size goes into the file: the view's is the zoomed one.
    document_->SetPictureSize(ui.Image1->PictureSize());
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
    // The view keeps the position (LastX, LastY) for the click.
    ui.stCurrentPos->setText(FromUtf16(FormatInteger(x)) + QStringLiteral(" x ")
                             + FromUtf16(FormatInteger(y)));
}

void TfrmMain::Image1Click()
{
    const QPoint last = ui.Image1->LastPixel();
    const std::vector<TCalibPoint> &points = document_->Points();
    const int i = FindPoint(points, last.x(), last.y());
    if (i >= 0) {
        const TCalibPoint &point = points[static_cast<std::size_t>(i)];
        ui.edX->setText(FromUtf16(FormatInteger(point.X)));
        ui.edY->setText(FromUtf16(FormatInteger(point.Y)));
        ui.edLat->setText(FromUtf16(FormatCoordinate(6, point.Lat)));
        ui.edLon->setText(FromUtf16(FormatCoordinate(6, point.Lon)));
    } else {
        ui.edX->setText(FromUtf16(FormatInteger(last.x())));
        ui.edY->setText(FromUtf16(FormatInteger(last.y())));
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
    document_->Save(point.X, point.Y, point.Lat, point.Lon);
}

void TfrmMain::ShowPoints(bool marksOnly)
{
    ShowResiduals();
    // The list is in the file already, whatever the drawing does (an icon cannot be drawn on).
    if (loadingPoints_)
        return;
    if (marksOnly)
        DrawPointMarks();
    else
        RepaintPicture();
}

void TfrmMain::SpeedButton1Click()
{
    MapPageOpener().Open(this, document_->Model(), *ui.PictureArea);
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
    document_->Release();
    event->accept();
}

void TfrmMain::FormCloseQuery(bool &canClose)
{
    document_->Write();
    canClose = document_->MayClose();
}

void TfrmMain::CommitData()
{
    bool canClose = true;
    FormCloseQuery(canClose);
}

void TfrmMain::LoadCalibration()
{
    QString reason;
    {
        const QScopedValueRollback loading(loadingPoints_, true);
        reason = document_->Load();
    }
    ShowResiduals();
    if (reason.isEmpty()) {
        try {
            DrawPointMarks();
            return;
        } catch (...) {
            reason = document_->CalibrationFileName() + QStringLiteral(": drawing the marks: ")
                + ErrorHandler::MessageOf(std::current_exception());
        }
    }
    qCWarning(lcCalibration, "Cannot load calibration: %s", qUtf8Printable(reason));
    Platform::Current().ShowMessage(this, QStringLiteral("Cannot load calibration"),
                                    QStringLiteral("Error"), QMessageBox::Warning);
}

void TfrmMain::DrawPointMarks()
{
    layers_->ShowMarks(document_->Points());
}

void TfrmMain::RepaintPicture()
{
    if (!ui.Image1->CanBeDrawnOn())
        return;
    try {
        layers_->Follow(document_->Mapping().Setup(), document_->Points(),
                        gpxLoader_->DrawsTracksAndRoutes());
    } catch (const Error &error) {
        // The marks still go on top; the pixels before the failing waypoint stay.
        qCWarning(lcCalibration, "Waypoints not all drawn again: %s", error.what());
    }
    DrawPointMarks();
}

void TfrmMain::ClearWaypoints()
{
    layers_->ClearOverlays();
    linesNotice_->Withdraw();
    RepaintPicture();
}

std::size_t TfrmMain::OverlayCountForTest() const
{
    return layers_->OverlayCount();
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
    gpxLoader_->Start(*chosen);
}

void TfrmMain::OverlayLoaded(GpxOverlay overlay)
{
    ui.Image1->RepaintNow();
    const bool lines = gpxLoader_->DrawsTracksAndRoutes();
    linesNotice_->Withdraw();
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
    const OverlaySighting sighting = layers_->AddOverlay(
        std::move(overlay), document_->Mapping().Setup(), document_->Points(), lines, warn);
    linesNotice_->TellOutside(sighting);
}

} // namespace carteva
