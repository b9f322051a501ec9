// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Mapping.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QTableView;

namespace carteva {

class CalibrationDocument;
class MappingFigures;
class PictureView;
class PointsTableModel;
struct TfrmMainControls;

// The points window: a tool window beside the main window with every point, its residual under
// the chosen mapping and a mark on suspect points; selected points are outlined on the picture.
// Below the table: the fit's RMS (or why there is none), the position under the pointer, and how
// far the point in the entry fields lies from where the other points put it.
class PointsWindow : public QWidget
{
    Q_OBJECT
public:
    // A tool window of `window`, whose controls `ui` are; the window's `keys` (undo, redo, ...)
    // work here too.
    PointsWindow(QWidget &window, const TfrmMainControls &ui, CalibrationDocument &document,
                 const QList<QAction *> &keys);
    ~PointsWindow() override;

    // Reads the points, the mapping and the fields again.
    void Refresh();
    // Removes the selected points, one undo step.
    void RemoveSelected();
    // The scale of the residuals drawn on the picture; empty: none are drawn.
    void ShowResidualScale(const QString &text);

    QTableView &Table() const { return *table_; }
    PointsTableModel &Model() const { return *model_; }
    QLabel &Summary() const { return *summary_; }
    QLabel &Pointer() const { return *pointer_; }
    QLabel &Distance() const { return *distance_; }
    QLabel &ResidualScale() const { return *residualScale_; }
    QPushButton &DeleteButton() const { return *delete_; }
    MappingFigures &Figures() const { return *figures_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void ShowPointer(int x, int y);
    void ShowDistance();
    void OutlineSelection();
    void ShowPoint(int row);
    void SavePlace();

    QWidget &window_;
    const TfrmMainControls &ui_;
    CalibrationDocument &document_;
    QPointer<PictureView> view_;
    PointsTableModel *model_ = nullptr;
    QTableView *table_ = nullptr;
    QLabel *summary_ = nullptr;
    QLabel *pointer_ = nullptr;
    QLabel *distance_ = nullptr;
    QLabel *residualScale_ = nullptr;
    QPushButton *delete_ = nullptr;
    QPushButton *projection_ = nullptr;
    MappingFigures *figures_ = nullptr;
    // Shown once at least: the pointer's position is worth working out.
    bool refreshed_ = false;
    bool placed_ = false;
};

} // namespace carteva
