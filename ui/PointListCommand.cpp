// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointListCommand.h"

#include <algorithm>
#include <utility>

namespace carteva {

PointListCommand::PointListCommand(const QString &text, std::vector<PointChange> changes,
                                   std::vector<TCalibPoint> &points, Changed changed)
    : QUndoCommand(text)
    , changes_(std::move(changes))
    , points_(points)
    , changed_(std::move(changed))
{ }

void PointListCommand::redo()
{
    for (const PointChange &change : changes_)
        Apply(points_, change.Index, change.Before, change.After);
    const bool first = !done_;
    done_ = true;
    changed_(first);
}

void PointListCommand::undo()
{
    for (auto change = changes_.rbegin(); change != changes_.rend(); ++change)
        Apply(points_, change->Index, change->After, change->Before);
    changed_(false);
}

void PointListCommand::Apply(std::vector<TCalibPoint> &points, std::size_t index,
                             const std::optional<TCalibPoint> &from,
                             const std::optional<TCalibPoint> &to)
{
    const auto at = points.begin() + static_cast<std::ptrdiff_t>(std::min(index, points.size()));
    if (!from && to)
        points.insert(at, *to);
    else if (index < points.size() && from && to)
        points[index] = *to;
    else if (index < points.size() && from)
        points.erase(at);
}

} // namespace carteva
