// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <vector>

class QAction;
class QLineEdit;
class QUndoStack;

namespace carteva {

struct PointChange;
class TfrmMain;

// Every edit of the window's point list, each one undo step: Save, removals and in-place edits of
// a coordinate. After each change, undo and redo the window writes the file and repaints.
class PointEdits : public QObject
{
    Q_OBJECT
public:
    explicit PointEdits(TfrmMain &window);

    // What Save does with converted fields: corrects the first point of that pixel, or appends one.
    void Save(std::int32_t x, std::int32_t y, Extended lat, Extended lon);
    // Removes the points at these indexes (in any order; repeats count once).
    void Remove(std::vector<std::size_t> indexes);
    // Sets a point's latitude or longitude from text, parsed as Save parses it; refused text throws
    // the same error Save shows and changes nothing.
    void SetCoordinate(std::size_t index, bool latitude, const QString &text);

    QUndoStack &Stack() const { return *stack_; }
    // Ctrl+Z; Ctrl+Shift+Z and Ctrl+Y. Added to each window where they should work.
    QAction *UndoAction() const { return undo_; }
    QAction *RedoAction() const { return redo_; }
    // A field with typing of its own to undo (or redo) takes the keys first, as text fields do.
    void LetFieldUndoFirst(QLineEdit &field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Push(const QString &text, std::vector<PointChange> changes, bool save);

    TfrmMain &window_;
    QUndoStack *stack_ = nullptr;
    QAction *undo_ = nullptr;
    QAction *redo_ = nullptr;
};

} // namespace carteva
