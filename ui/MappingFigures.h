// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Mapping.h"
#include "calibration/Residuals.h"

#include <QWidget>

#include <span>

class QLabel;
class QPushButton;

namespace carteva {

// Both mappings' figures side by side in the points window, each point predicted from the others
// (the root mean square and the worst), with a button to switch when the other mapping is clearly
// better; a point that alone explains the error, to be checked (then no switch is offered: a typo is
// no fault of the mapping); and, under the two nearest points, the pairs it cannot divide by.
class MappingFigures : public QWidget
{
    Q_OBJECT
public:
    explicit MappingFigures(QWidget *parent = nullptr);

    // `current` is the report of the mapping in use; the other one is computed here.
    void Show(const MappingSetup &setup, std::span<const TCalibPoint> points,
              const ResidualReport &current);

    QLabel &TwoNearest() const { return *twoNearest_; }
    QLabel &BestFit() const { return *bestFit_; }
    QLabel &PairFaults() const { return *pairFaults_; }
    QLabel &Suspect() const { return *suspect_; }
    QPushButton &SwitchButton() const { return *switch_; }

    // The other mapping predicts the points clearly better: its worst left-out point lands less
    // than half as far off as the current one's, and at least 2 px nearer; or only it maps at all.
    static bool ClearlyBetter(const ResidualReport &other, const ResidualReport &current);

signals:
    void SwitchRequested(MappingKind kind);
    // A point newly found suspect (its index in the list), for the table to select.
    void SuspectFound(int index);

private:
    QLabel *twoNearest_ = nullptr;
    QLabel *bestFit_ = nullptr;
    QLabel *pairFaults_ = nullptr;
    QLabel *suspect_ = nullptr;
    int shownSuspect_ = -1;
    QPushButton *switch_ = nullptr;
    MappingKind offered_ = MappingKind::BestFit;
};

} // namespace carteva
