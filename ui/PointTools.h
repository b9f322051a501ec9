// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

namespace carteva {

class MappingChoice;
class PictureContextMenu;
class PointEdits;
class PointsWindow;
class TfrmMain;
struct TfrmMainControls;

// Wires the point tools into the main window: the mapping choice, the undoable edits with their
// keys, the picture's context menu and the points window (made when first asked for).
class PointTools : public QObject
{
    Q_OBJECT
public:
    PointTools(TfrmMain &window, const TfrmMainControls &ui);
    ~PointTools() override;

    MappingChoice &Mapping() const { return *mapping_; }
    PointEdits &Edits() const { return *edits_; }
    PictureContextMenu &Menu() const { return *menu_; }
    // Shows the points window beside the main window and raises it.
    PointsWindow &ShowPointsWindow();

private:
    TfrmMain &window_;
    const TfrmMainControls &ui_;
    MappingChoice *mapping_ = nullptr;
    PointEdits *edits_ = nullptr;
    PictureContextMenu *menu_ = nullptr;
    PointsWindow *pointsWindow_ = nullptr;
};

} // namespace carteva
