// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/TfrmMainControls.h"

#include <QWidget>

#include <memory>

namespace carteva {

class CalibrationDocument;
class GpxOverlay;
class GpxOverlayLoader;
class OuterSizer;
class PictureContextMenu;
class PictureLayers;
class PointsWindow;
class ResidualLayer;
class UndoKeys;
class UndrawnLinesNotice;

// The program's one window: the controls and their event handlers. It turns events into calls on
// the calibration document and the model, and paints what comes back; the document owns the
// points, the tool windows take the document.
class TfrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // Event handlers. They may throw; the window calls them through the general error handler.
    void FormActivate();
    void Image1MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void Image1Click();
    void btSaveClick();
    void SpeedButton1Click();
    void FormCloseQuery(bool &canClose);
    void btOpenGPXClick();

    CalibrationDocument &Document() const { return *document_; }

    // Shows the marks of every point over the picture, on top.
    void DrawPointMarks();
    // Shows every GPX overlay of the run mapped with the points as they are now, and the marks
    // on top, without warnings: after a point has gone or changed.
    void RepaintPicture();
    // Forgets the GPX overlays: the picture shows without them.
    void ClearWaypoints();
    // Shows the points window beside the main window and raises it (made when first asked for).
    PointsWindow &ShowPointsWindow();
    // Draws the residuals of the points as they are on the picture, or takes them off, as "Show
    // residuals" says.
    void ShowResiduals();

    // For tests that press buttons, type into fields and look at the overlay.
    const TfrmMainControls &ControlsForTest() const { return ui; }
    PictureContextMenu &MenuForTest() const { return *menu_; }
    std::size_t OverlayCountForTest() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ConnectControls();
    void ConnectPointTools();
    void LoadCalibration();
    // After every change of the points: the picture shows the list as it is now.
    void ShowPoints(bool marksOnly);
    // Keeps a loaded file's overlay and paints it.
    void OverlayLoaded(GpxOverlay overlay);
    void SizeAroundPicture();
    void DockPanels();
    void CommitData();

    TfrmMainControls ui;
    CalibrationDocument *document_ = nullptr;
    UndoKeys *undoKeys_ = nullptr;
    PictureContextMenu *menu_ = nullptr;
    PointsWindow *pointsWindow_ = nullptr;
    // The calibration is being read: its marks are drawn as part of the read.
    bool loadingPoints_ = false;
    bool shownOnce_ = false;
    OuterSizer *outerSizer_ = nullptr;
    GpxOverlayLoader *gpxLoader_ = nullptr;
    PictureLayers *layers_ = nullptr;
    UndrawnLinesNotice *linesNotice_ = nullptr;
    std::unique_ptr<ResidualLayer> residuals_;
};

// The one window, and whether its start-up still has to open a picture.
extern TfrmMain *frmMain;
extern bool FirstActivation;

} // namespace carteva
