// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "ui/CalibrationStore.h"
#include "ui/TfrmMainControls.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace carteva {

class GpxOverlay;
class GpxOverlayLayer;
class GpxOverlayLoader;
class OuterSizer;
class PointTools;
class UndrawnLinesNotice;

// The program's one window: the controls, their event handlers and all state of the running
// program. It turns events into calls on the model and paints what comes back.
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

    // State.
    std::int32_t LastX = 0;
    std::int32_t LastY = 0;
    std::vector<TCalibPoint> Points;
    QString BitmapFileName;

    // The calibration file beside the bitmap; both report their own failures.
    QString CalibrationFileName() const;
    void LoadCalibration();
    void SaveCalibration();
    void DrawPointMarks();
    // The last save could keep the points nowhere else.
    bool PointsOnlyInMemory() const { return store_.PointsOnlyInMemory(); }

    // Takes every mark and waypoint off the picture and paints them again from Points and
    // every GPX overlay of the run, marks on top, without warnings: after a point has gone or
    // changed.
    void RepaintPicture();
    // Forgets the GPX overlays and takes their pixels off the picture.
    void ClearWaypoints();
    // After an undoable edit of Points (Save, removal, in-place edit, undo, redo): the file is
    // written as Save writes it; `marksOnly` paints the marks over the picture as a Save always
    // has, otherwise the picture is painted again for the list as it is now.
    void PointsEdited(bool marksOnly);

    // The controls, for tests that press buttons and type into fields.
    const TfrmMainControls &ControlsForTest() const { return ui; }
    PointTools &ToolsForTest() const { return *tools_; }
    std::size_t OverlayCountForTest() const;

signals:
    void PointsChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void ConnectControls();
    // Keeps a loaded file's overlay and paints it.
    void OverlayLoaded(GpxOverlay overlay);
    void SizeAroundPicture();
    void DockPanels();
    void CommitData();

    TfrmMainControls ui;
    bool shownOnce_ = false;
    OuterSizer *outerSizer_ = nullptr;
    GpxOverlayLoader *gpxLoader_ = nullptr;
    GpxOverlayLayer *overlays_ = nullptr;
    UndrawnLinesNotice *linesNotice_ = nullptr;
    CalibrationStore store_;
    PointTools *tools_ = nullptr;
};

// The one window, and whether its start-up still has to open a picture.
extern TfrmMain *frmMain;
extern bool FirstActivation;

} // namespace carteva
