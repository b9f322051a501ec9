// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <QUndoCommand>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace carteva {

// One change of one list entry: nothing before is an insertion at Index, nothing after a removal.
struct PointChange
{
    std::size_t Index = 0;
    std::optional<TCalibPoint> Before;
    std::optional<TCalibPoint> After;
};

// One undo step of the point list: its changes are made in order and taken back in reverse, so a
// removed point returns to its old index with its record, gap bytes and all. `changed` runs after
// each redo and undo (first: the redo that push makes); it must not throw, since QUndoStack
// is not written for exceptions.
class PointListCommand : public QUndoCommand
{
public:
    using Changed = std::function<void(bool first)>;

    PointListCommand(const QString &text, std::vector<PointChange> changes,
                     std::vector<TCalibPoint> &points, Changed changed);

    void redo() override;
    void undo() override;

private:
    // A list changed behind the stack's back (a merge of another writer's points) can leave an
    // index beyond the end; such a step is clamped or skipped rather than touch memory it must not.
    static void Apply(std::vector<TCalibPoint> &points, std::size_t index,
                      const std::optional<TCalibPoint> &from, const std::optional<TCalibPoint> &to);

    std::vector<PointChange> changes_;
    std::vector<TCalibPoint> &points_;
    Changed changed_;
    bool done_ = false;
};

} // namespace carteva
