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
    if (skipRedo_) {
        skipRedo_ = false;
        return;
    }
    run_(*this, false);
}

void PointListCommand::undo()
{
    run_(*this, true);
}

void PointListCommand::SetChanges(std::vector<RecordChange> changes)
{
    changes_ = std::move(changes);
    done_.assign(changes_.size(), true);
    pending_ = done_;
    made_ = true;
    // A first doing that found nothing to change leaves no step behind.
    setObsolete(changes_.empty());
}

void PointListCommand::Apply(std::vector<TCalibPoint> &points, bool undo,
                             std::vector<RecordChange::Ref> &missing)
{
    // Undo takes back the changes that stand made, redo makes those taken back.
    std::vector<std::size_t> acting;
    for (std::size_t k = 0; k < changes_.size(); ++k)
        if (done_[k] == undo)
            acting.push_back(k);
    std::vector<std::size_t> missingAt;
    if (acting.size() == changes_.size()) {
        RecordChange::ApplyAll(points, changes_, undo, missing, &missingAt);
    } else {
        std::vector<RecordChange> some;
        for (const std::size_t k : acting)
            some.push_back(changes_[k]);
        RecordChange::ApplyAll(points, some, undo, missing, &missingAt);
    }
    pending_ = done_;
    for (const std::size_t k : acting)
        pending_[k] = !undo;
    for (const std::size_t at : missingAt)
        pending_[acting[at]] = undo;
}

} // namespace carteva
