// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ProjectionRankingWriter.h"

#include "app/export/ShortestText.h"
#include "calibration/ProjectionRanking.h"

namespace carteva {

std::string ProjectionRankingWriter::Write(const CalibratedMap &map)
{
    const std::vector<TCalibPoint> points = CalibPointsOf(map);
    std::string text = "# Projections whose area holds the points, ranked by how far the best fit "
                       "in each puts every point when the others alone place it\n";
    const std::optional<std::vector<RankedProjection>> ranking = ProjectionRanking::Rank(points);
    if (!ranking || ranking->empty())
        return text + "# No ranking: it needs " + std::to_string(ProjectionRanking::MinimumPoints)
            + " points with a valid latitude and longitude\n";
    text += "# held-out RMS px\tworst px\tdefinition\tname\n";
    for (const RankedProjection &row : *ranking) {
        text += FixedText(row.HeldOutRms, 3) + "\t" + FixedText(row.HeldOutWorst, 3) + "\t"
            + (row.Definition.empty() ? "Degrees" : row.Definition) + "\t" + row.Name;
        if (row.Others > 0)
            text += " and " + std::to_string(row.Others)
                + (row.Others == 1 ? " other" : " others");
        text += "\n";
    }
    return text;
}

} // namespace carteva
