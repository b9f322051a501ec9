// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointEdits.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "ui/ErrorHandler.h"
#include "ui/PointListCommand.h"
#include "ui/TextCrossing.h"
#include "ui/TfrmMain.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QUndoStack>

#include <algorithm>

namespace carteva {

namespace {

QString PixelText(const TCalibPoint &point)
{
    const std::u16string x = FormatInteger(point.X);
    const std::u16string y = FormatInteger(point.Y);
    return QString::fromUtf16(x.data(), qsizetype(x.size())) + QStringLiteral(" x ")
        + QString::fromUtf16(y.data(), qsizetype(y.size()));
}

const QKeyCombination kUndoKeys = Qt::CTRL | Qt::Key_Z;
const QList<QKeySequence> kRedoKeys
    = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)};

} // namespace

PointEdits::PointEdits(TfrmMain &window)
    : QObject(&window)
    , window_(window)
{
    stack_ = new QUndoStack(this);
    undo_ = new QAction(QStringLiteral("Undo"), this);
    undo_->setShortcut(QKeySequence(kUndoKeys));
    redo_ = new QAction(QStringLiteral("Redo"), this);
    redo_->setShortcuts(kRedoKeys);
    for (QAction *action : {undo_, redo_})
        action->setShortcutContext(Qt::WindowShortcut);
    // Guarded: the commands report their own failures, but nothing may unwind through the stack.
    connect(undo_, &QAction::triggered, this, [this] { Guarded([this] { stack_->undo(); }); });
    connect(redo_, &QAction::triggered, this, [this] { Guarded([this] { stack_->redo(); }); });
}

void PointEdits::Push(const QString &text, std::vector<PointChange> changes, bool save)
{
    stack_->push(new PointListCommand(
        text, std::move(changes), window_.Points, [this, save](bool first) {
            // Save paints its marks over the picture as it always has; everything else (its undo
            // and redo too) paints the picture again as if the list had always been what it is now.
            Guarded([&] { window_.PointsEdited(save && first); });
        }));
}

void PointEdits::Save(std::int32_t x, std::int32_t y, Extended lat, Extended lon)
{
    const int i = FindPoint(window_.Points, x, y);
    PointChange change;
    if (i < 0) {
        change.Index = window_.Points.size();
        change.After.emplace();
        change.After->X = x;
        change.After->Y = y;
    } else {
        change.Index = std::size_t(i);
        change.Before = window_.Points[change.Index];
        change.After = change.Before;
    }
    change.After->Lat = lat;
    change.After->Lon = lon;
    Push(QStringLiteral("Save point %1").arg(PixelText(*change.After)), {change}, true);
}

void PointEdits::Remove(std::vector<std::size_t> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    std::vector<PointChange> changes;
    // From the back, so that each index still names its point when its turn comes; undone in
    // reverse, each point goes back to the index it had.
    for (auto i = indexes.rbegin(); i != indexes.rend(); ++i) {
        if (*i < window_.Points.size())
            changes.push_back({*i, window_.Points[*i], std::nullopt});
    }
    if (changes.empty())
        return;
    const QString text = changes.size() == 1
        ? QStringLiteral("Remove point %1").arg(PixelText(*changes[0].Before))
        : QStringLiteral("Remove %1 points").arg(changes.size());
    Push(text, std::move(changes), false);
}

void PointEdits::SetCoordinate(std::size_t index, bool latitude, const QString &text)
{
    if (index >= window_.Points.size())
        return;
    if (!IsDecimalNumber(Utf16(text)))
        throw EConvertError::NotAFloat(Utf16(text));
    const Extended value = ParseDecimal(Utf16(text));
    PointChange change {index, window_.Points[index], window_.Points[index]};
    (latitude ? change.After->Lat : change.After->Lon) = value;
    if (change.After->ToRecord() == change.Before->ToRecord())
        return;
    Push(QStringLiteral("Edit point %1").arg(PixelText(*change.Before)), {change}, false);
}

void PointEdits::LetFieldUndoFirst(QLineEdit &field)
{
    field.installEventFilter(this);
}

bool PointEdits::eventFilter(QObject *watched, QEvent *event)
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
