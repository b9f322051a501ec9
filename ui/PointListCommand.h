// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/RecordChange.h"

#include <QUndoCommand>

#include <functional>
#include <vector>

namespace carteva {

// One undo step of the point list: the record changes its first doing made, done again in order
// and taken back in reverse. The doing itself belongs to whoever owns the list (`run`), so that it
// happens inside that owner's write of the file; `run` must not throw, since QUndoStack is not
// written for exceptions.
class PointListCommand : public QUndoCommand
{
public:
    using Run = std::function<void(PointListCommand &step, bool undo)>;

    PointListCommand(const QString &text, Run run);

    void redo() override;
    void undo() override;

    // Nothing yet before the first redo, which fills them in from the list as it was then.
    bool Made() const { return made_; }
    void SetChanges(std::vector<RecordChange> changes);
    // The owner made the first doing itself, before pushing the step: the push's redo does
    // nothing.
    void FirstDoingMade() { skipRedo_ = true; }
    // Makes the changes again (`undo`: takes them back); the targets of those that found no
    // record go to `missing`. A change that was skipped stays as it was: an undo skipped leaves
    // nothing for the redo to make again, or it would add a second record. May be called more
    // than once for one doing (a transaction that starts over); Commit keeps the last.
    void Apply(std::vector<TCalibPoint> &points, bool undo,
               std::vector<RecordChange::Ref> &missing);
    // The doing is over: which changes stand made is what its last Apply left.
    void Commit() { done_ = pending_; }

private:
    std::vector<RecordChange> changes_;
    std::vector<bool> done_; // each change: made (true) or taken back
    std::vector<bool> pending_;
    Run run_;
    bool made_ = false;
    bool skipRedo_ = false;
};

} // namespace carteva
