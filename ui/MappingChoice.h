// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Mapping.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <string>

class QAction;
class QActionGroup;

namespace carteva {

// Which mapping places waypoints and judges points: a radio pair of actions, remembered for the
// user. The nearest-pair rule is the default, so that a map behaves as it always did until the
// user asks for the fit. Beside it the open map's own projection, which the best fit works in,
// kept in the file beside the calibration (ProjectionFile).
class MappingChoice : public QObject
{
    Q_OBJECT
public:
    explicit MappingChoice(QObject *parent = nullptr);

    MappingKind Kind() const { return kind_; }
    void SetKind(MappingKind kind);
    // The rule and the projection, as mappings are made.
    MappingSetup Setup() const { return MappingSetup(kind_, projection_); }

    // Reads the projection kept beside the map's calibration file. A file that cannot be read or
    // a definition PROJ refuses leaves degrees, and ProjectionProblem says why; never throws.
    void OpenMap(const std::filesystem::path &calibrationFile);
    // Checks the definition with PROJ, keeps it beside the map (empty: degrees, the file
    // removed) and applies it. Throws Error with PROJ's reason or the file's.
    void SetProjection(const std::string &definition);
    std::string ProjectionDefinition() const;
    const QString &ProjectionProblem() const { return projectionProblem_; }

    QAction *TwoNearestAction() const { return twoNearest_; }
    QAction *BestFitAction() const { return bestFit_; }
    // "Map projection…": whoever knows the points answers it (ProjectionDialog).
    QAction *ProjectionAction() const { return projectionAction_; }

signals:
    void Changed();

private:
    MappingKind kind_ = MappingKind::TwoNearest;
    QActionGroup *group_ = nullptr;
    QAction *twoNearest_ = nullptr;
    QAction *bestFit_ = nullptr;
    QAction *projectionAction_ = nullptr;
    std::filesystem::path calibrationFile_;
    std::shared_ptr<const MapProjection> projection_;
    QString projectionProblem_;
};

} // namespace carteva
