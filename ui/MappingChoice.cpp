// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/MappingChoice.h"

#include "calibration/MapProjection.h"
#include "calibration/ProjectionFile.h"
#include "ui/UserSettings.h"

#include <QAction>
#include <QActionGroup>

namespace carteva {

namespace {

const QString kKey = QStringLiteral("mapping");
const QString kBestFit = QStringLiteral("best-fit");
const QString kTwoNearest = QStringLiteral("two-nearest");

} // namespace

MappingChoice::MappingChoice(QObject *parent)
    : QObject(parent)
{
    group_ = new QActionGroup(this);
    group_->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    twoNearest_ = new QAction(QStringLiteral("Two nearest points"), group_);
    bestFit_ = new QAction(QStringLiteral("Best fit through all points"), group_);
    for (QAction *action : {twoNearest_, bestFit_})
        action->setCheckable(true);
    projectionAction_ = new QAction(QStringLiteral("Map projection…"), this);
    // Anything but the fit's own word (an older or a hand-edited value) keeps the default.
    kind_ = UserSettings().value(kKey).toString() == kBestFit ? MappingKind::BestFit
                                                              : MappingKind::TwoNearest;
    (kind_ == MappingKind::BestFit ? bestFit_ : twoNearest_)->setChecked(true);
    connect(twoNearest_, &QAction::triggered, this, [this] { SetKind(MappingKind::TwoNearest); });
    connect(bestFit_, &QAction::triggered, this, [this] { SetKind(MappingKind::BestFit); });
}

void MappingChoice::OpenMap(const std::filesystem::path &calibrationFile)
{
    calibrationFile_ = calibrationFile;
    const bool had = projection_ != nullptr;
    projection_.reset();
    projectionProblem_.clear();
    try {
        projection_ = ProjectionFile::Open(calibrationFile);
    } catch (const std::exception &error) {
        projectionProblem_ = QString::fromStdString(error.what());
    }
    if (had || projection_)
        emit Changed();
}

void MappingChoice::SetProjection(const std::string &definition)
{
    std::shared_ptr<const MapProjection> projection;
    if (!definition.empty())
        projection = std::make_shared<const MapProjection>(definition);
    if (!calibrationFile_.empty())
        ProjectionFile::Write(calibrationFile_, definition);
    projection_ = std::move(projection);
    projectionProblem_.clear();
    emit Changed();
}

std::string MappingChoice::ProjectionDefinition() const
{
    return projection_ ? projection_->Definition() : std::string();
}

void MappingChoice::SetKind(MappingKind kind)
{
    (kind == MappingKind::BestFit ? bestFit_ : twoNearest_)->setChecked(true);
    if (kind == kind_)
        return;
    kind_ = kind;
    UserSettings().setValue(kKey, kind == MappingKind::BestFit ? kBestFit : kTwoNearest);
    emit Changed();
}

} // namespace carteva
