// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class QAction;
class QLineEdit;

namespace carteva {

class CalibrationDocument;

// Ctrl+Z; Ctrl+Shift+Z and Ctrl+Y: the document's undo and redo as actions, added to each window
// where they should work. A text field with typing of its own to undo takes the keys first.
class UndoKeys : public QObject
{
    Q_OBJECT
public:
    UndoKeys(CalibrationDocument &document, QObject *parent);

    QAction *UndoAction() const { return undo_; }
    QAction *RedoAction() const { return redo_; }
    void LetFieldUndoFirst(QLineEdit &field);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *undo_ = nullptr;
    QAction *redo_ = nullptr;
};

} // namespace carteva
