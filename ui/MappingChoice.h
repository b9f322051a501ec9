// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/MapModel.h"
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
// user asks for the fit. The rule and the projection live in the map's model, which keeps the
// projection in the file beside the calibration (ProjectionFile).
class MappingChoice : public QObject
{
    Q_OBJECT
public:
    // The choice for `model`, which takes the remembered rule.
    explicit MappingChoice(MapModel &model, QObject *parent = nullptr);
    // The choice with a model of its own.
    explicit MappingChoice(QObject *parent = nullptr);
    ~MappingChoice() override;

    MappingKind Kind() const { return model_.Kind(); }
    void SetKind(MappingKind kind);
    // The rule and the projection, as mappings are made.
    MappingSetup Setup() const { return model_.Setup(); }

    // Reads the projection kept beside the map's calibration file. A file that cannot be read or
    // a definition PROJ refuses leaves degrees, and ProjectionProblem says why; never throws.
    void OpenMap(const std::filesystem::path &calibrationFile);
    // Checks the definition with PROJ, keeps it beside the map (empty: degrees, the file
    // removed) and applies it. Throws Error with PROJ's reason or the file's.
    void SetProjection(const std::string &definition);
    std::string ProjectionDefinition() const;
    QString ProjectionProblem() const { return QString::fromStdString(model_.ProjectionProblem()); }

    QAction *TwoNearestAction() const { return twoNearest_; }
    QAction *BestFitAction() const { return bestFit_; }
    // "Map projection…": whoever knows the points answers it (ProjectionDialog).
    QAction *ProjectionAction() const { return projectionAction_; }

signals:
    void Changed();

private:
    void MakeActions();

    std::unique_ptr<MapModel> own_;
    MapModel &model_;
    QActionGroup *group_ = nullptr;
    QAction *twoNearest_ = nullptr;
    QAction *bestFit_ = nullptr;
    QAction *projectionAction_ = nullptr;
};

} // namespace carteva
