// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointTools.h"

#include "ui/ErrorHandler.h"
#include "ui/MappingChoice.h"
#include "ui/PictureContextMenu.h"
#include "ui/PointEdits.h"
#include "ui/PointsWindow.h"
#include "ui/ProjectionDialog.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmMainControls.h"

#include <QAction>
#include <QLineEdit>

namespace carteva {

PointTools::PointTools(TfrmMain &window, const TfrmMainControls &ui)
    : QObject(&window)
    , window_(window)
    , ui_(ui)
{
    mapping_ = new MappingChoice(this);
    edits_ = new PointEdits(window);
    window.addAction(edits_->UndoAction());
    window.addAction(edits_->RedoAction());
    for (QLineEdit *field : {ui.edX, ui.edY, ui.edLat, ui.edLon})
        edits_->LetFieldUndoFirst(*field);
    menu_ = new PictureContextMenu(window, *ui.Image1, *mapping_, *edits_);
    connect(menu_, &PictureContextMenu::PointsWindowRequested, this,
            [this] { ShowPointsWindow(); });
    connect(mapping_->ProjectionAction(), &QAction::triggered, this, [this] {
        Guarded([this] {
            QWidget *parent = pointsWindow_ && pointsWindow_->isActiveWindow()
                ? static_cast<QWidget *>(pointsWindow_)
                : &window_;
            ProjectionDialog dialog(parent, mapping_->ProjectionDefinition(), window_.Points);
            if (dialog.exec() == QDialog::Accepted)
                mapping_->SetProjection(dialog.Definition());
        });
    });
    // Waypoints follow the mapping at once.
    connect(mapping_, &MappingChoice::Changed, this,
            [this] { Guarded([this] { window_.RepaintPicture(); }); });
}

PointTools::~PointTools()
{
    // A child of the main window, but it reads the window's points: it goes with the tools.
    delete pointsWindow_;
}

PointsWindow &PointTools::ShowPointsWindow()
{
    if (!pointsWindow_) {
        pointsWindow_ = new PointsWindow(window_, ui_, *mapping_, *edits_);
        pointsWindow_->addAction(menu_->PointsAction());
    }
    pointsWindow_->show();
    pointsWindow_->raise();
    pointsWindow_->activateWindow();
    return *pointsWindow_;
}

} // namespace carteva
