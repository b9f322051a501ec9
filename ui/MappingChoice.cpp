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
    , own_(std::make_unique<MapModel>())
    , model_(*own_)
{
    MakeActions();
}

MappingChoice::MappingChoice(MapModel &model, QObject *parent)
    : QObject(parent)
    , model_(model)
{
    MakeActions();
}

void MappingChoice::MakeActions()
{
    group_ = new QActionGroup(this);
    group_->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    twoNearest_ = new QAction(QStringLiteral("Two nearest points"), group_);
    bestFit_ = new QAction(QStringLiteral("Best fit through all points"), group_);
    for (QAction *action : {twoNearest_, bestFit_})
        action->setCheckable(true);
    projectionAction_ = new QAction(QStringLiteral("Map projection…"), this);
    // Anything but the fit's own word (an older or a hand-edited value) keeps the default.
    model_.SetKind(UserSettings().value(kKey).toString() == kBestFit ? MappingKind::BestFit
                                                                     : MappingKind::TwoNearest);
    (Kind() == MappingKind::BestFit ? bestFit_ : twoNearest_)->setChecked(true);
    connect(twoNearest_, &QAction::triggered, this, [this] { SetKind(MappingKind::TwoNearest); });
    connect(bestFit_, &QAction::triggered, this, [this] { SetKind(MappingKind::BestFit); });
}

MappingChoice::~MappingChoice() = default;

void MappingChoice::OpenMap(const std::filesystem::path &calibrationFile)
{
    if (model_.OpenProjection(calibrationFile))
        emit Changed();
}

void MappingChoice::SetProjection(const std::string &definition)
{
    model_.SetProjection(definition);
    emit Changed();
}

std::string MappingChoice::ProjectionDefinition() const
{
    return model_.Setup().ProjectionDefinition();
}

void MappingChoice::SetKind(MappingKind kind)
{
    (kind == MappingKind::BestFit ? bestFit_ : twoNearest_)->setChecked(true);
    if (kind == Kind())
        return;
    model_.SetKind(kind);
    UserSettings().setValue(kKey, kind == MappingKind::BestFit ? kBestFit : kTwoNearest);
    emit Changed();
}

} // namespace carteva
