// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/UndoKeys.h"

#include "ui/CalibrationDocument.h"
#include "ui/ErrorHandler.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace carteva {

namespace {

const QKeyCombination kUndoKeys = Qt::CTRL | Qt::Key_Z;
const QList<QKeySequence> kRedoKeys
    = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)};

} // namespace

UndoKeys::UndoKeys(CalibrationDocument &document, QObject *parent)
    : QObject(parent)
{
    undo_ = new QAction(QStringLiteral("Undo"), this);
    undo_->setShortcut(QKeySequence(kUndoKeys));
    redo_ = new QAction(QStringLiteral("Redo"), this);
    redo_->setShortcuts(kRedoKeys);
    for (QAction *action : {undo_, redo_})
        action->setShortcutContext(Qt::WindowShortcut);
    // Guarded: the steps report their own failures, but nothing may unwind through the stack.
    connect(undo_, &QAction::triggered, this,
            [&document] { Guarded([&document] { document.Undo(); }); });
    connect(redo_, &QAction::triggered, this,
            [&document] { Guarded([&document] { document.Redo(); }); });
}

void UndoKeys::LetFieldUndoFirst(QLineEdit &field)
{
    field.installEventFilter(this);
}

bool UndoKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    const QKeyCombination keys = static_cast<QKeyEvent *>(event)->keyCombination();
    const bool undo = keys == kUndoKeys;
    const bool redo = std::any_of(kRedoKeys.begin(), kRedoKeys.end(),
                                  [&](const QKeySequence &s) { return s[0] == keys; });
    if ((undo && !field->isUndoAvailable()) || (redo && !field->isRedoAvailable())) {
        // Not the field's to take: left unaccepted, the keys go on to the list's shortcut.
        event->ignore();
        return true;
    }
    return false;
}

} // namespace carteva
