// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointListCommand.h"

#include <utility>

namespace carteva {

PointListCommand::PointListCommand(const QString &text, Run run)
    : QUndoCommand(text)
    , run_(std::move(run))
{ }

void PointListCommand::redo()
{
    run_(*this, false);
}

void PointListCommand::undo()
{
    run_(*this, true);
}

void PointListCommand::SetChanges(std::vector<RecordChange> changes)
{
    changes_ = std::move(changes);
    made_ = true;
    // A first doing that found nothing to change leaves no step behind.
    setObsolete(changes_.empty());
}

void PointListCommand::Apply(std::vector<TCalibPoint> &points, bool undo,
                             std::vector<RecordChange::Ref> &missing) const
{
    RecordChange::ApplyAll(points, changes_, undo, missing);
}

} // namespace carteva
