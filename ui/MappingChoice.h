// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Mapping.h"

#include <QObject>

class QAction;
class QActionGroup;

namespace carteva {

// Which mapping places waypoints and judges points: a radio pair of actions, remembered for the
// user. The nearest-pair rule is the default, so that a map behaves as it always did until the
// user asks for the fit.
class MappingChoice : public QObject
{
    Q_OBJECT
public:
    explicit MappingChoice(QObject *parent = nullptr);

    MappingKind Kind() const { return kind_; }
    void SetKind(MappingKind kind);

    QAction *TwoNearestAction() const { return twoNearest_; }
    QAction *BestFitAction() const { return bestFit_; }

signals:
    void Changed();

private:
    MappingKind kind_ = MappingKind::TwoNearest;
    QActionGroup *group_ = nullptr;
    QAction *twoNearest_ = nullptr;
    QAction *bestFit_ = nullptr;
};

} // namespace carteva
