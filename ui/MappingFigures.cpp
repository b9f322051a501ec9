// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/MappingFigures.h"

#include "calibration/NearestPairFaults.h"
#include "calibration/NumberText.h"
#include "ui/TextCrossing.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace carteva {

namespace {

// A worst left-out point must improve by this much before switching is worth a button.
constexpr double ClearlyBetterFactor = 0.5;
constexpr double ClearlyBetterPixels = 2;

QString Pixels(double value)
{
    return FromUtf16(FormatCoordinate(1, value)) + QStringLiteral(" px");
}

QString Figures(const QString &name, const ResidualReport &report)
{
    if (!report.Reason.empty())
        return name + QStringLiteral(": ") + QString::fromStdString(report.Reason);
    if (!report.LeaveOneOutRms || !report.WorstLeaveOneOut)
        return name + QStringLiteral(": too few points to leave one out");
    return name
        + QStringLiteral(": each point left out lands %1 off (RMS), at worst %2 (point %3)")
              .arg(Pixels(*report.LeaveOneOutRms), Pixels(*report.WorstLeaveOneOut),
                   QString::number(report.WorstPoint + 1));
}

QString PairText(std::span<const TCalibPoint> points, const NearestPairFault &fault)
{
    const TCalibPoint &p = points[fault.First];
    return QStringLiteral("points %1 and %2 share the %3 %4")
        .arg(QString::number(fault.First + 1), QString::number(fault.Second + 1),
             fault.SameLatitude ? QStringLiteral("latitude") : QStringLiteral("longitude"),
             FromUtf16(FormatCoordinate(6, fault.SameLatitude ? p.Lat : p.Lon)));
}

} // namespace

MappingFigures::MappingFigures(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MappingFigures"));
    twoNearest_ = new QLabel(this);
    twoNearest_->setObjectName(QStringLiteral("TwoNearestFigures"));
    bestFit_ = new QLabel(this);
    bestFit_->setObjectName(QStringLiteral("BestFitFigures"));
    pairFaults_ = new QLabel(this);
    pairFaults_->setObjectName(QStringLiteral("PairFaults"));
    suspect_ = new QLabel(this);
    suspect_->setObjectName(QStringLiteral("SuspectPoint"));
    suspect_->hide();
    for (QLabel *label : {twoNearest_, bestFit_, pairFaults_, suspect_})
        label->setWordWrap(true);
    switch_ = new QPushButton(this);
    switch_->setObjectName(QStringLiteral("SwitchMapping"));
    switch_->hide();
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(twoNearest_, 0, 0);
    layout->addWidget(bestFit_, 1, 0);
    layout->addWidget(switch_, 0, 1, 2, 1, Qt::AlignVCenter);
    layout->addWidget(suspect_, 2, 0, 1, 2);
    layout->addWidget(pairFaults_, 3, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    connect(switch_, &QPushButton::clicked, this, [this] { emit SwitchRequested(offered_); });
}

bool MappingFigures::ClearlyBetter(const ResidualReport &other, const ResidualReport &current)
{
    if (!other.Reason.empty())
        return false;
    if (!current.Reason.empty())
        return true;
    if (!other.WorstLeaveOneOut || !current.WorstLeaveOneOut)
        return false;
    return *other.WorstLeaveOneOut < ClearlyBetterFactor * *current.WorstLeaveOneOut
        && *current.WorstLeaveOneOut - *other.WorstLeaveOneOut >= ClearlyBetterPixels;
}

void MappingFigures::Show(const MappingSetup &setup, std::span<const TCalibPoint> points,
                          const ResidualReport &current)
{
    const MappingKind otherKind = setup.Kind == MappingKind::BestFit ? MappingKind::TwoNearest
                                                                      : MappingKind::BestFit;
    const ResidualReport other = ComputeResiduals(MappingSetup(otherKind, setup.Projection), points);
    const ResidualReport &nearest = setup.Kind == MappingKind::TwoNearest ? current : other;
    const ResidualReport &fit = setup.Kind == MappingKind::BestFit ? current : other;
    twoNearest_->setText(Figures(QStringLiteral("Two nearest points"), nearest));
    bestFit_->setText(Figures(fit.Model.empty() ? QStringLiteral("Best fit")
                                                : QStringLiteral("Best fit (%1)")
                                                      .arg(QString::fromStdString(fit.Model)),
                              fit));
    offered_ = otherKind;
    switch_->setText(otherKind == MappingKind::BestFit ? QStringLiteral("Use the best fit")
                                                       : QStringLiteral("Use the two nearest points"));
    // The best fit judges the points whichever mapping draws (see ComputeResiduals).
    int suspect = -1;
    for (std::size_t i = 0; i < fit.Points.size() && suspect < 0; ++i) {
        if (fit.Points[i].Suspect && fit.Points[i].LeaveOneOutPixels)
            suspect = int(i);
    }
    if (suspect >= 0) {
        const PointResidual &point = fit.Points[std::size_t(suspect)];
        suspect_->setText(QStringLiteral("Point %1: check this point. The others put it %2 from "
                                         "its pixel%3.")
                              .arg(QString::number(suspect + 1),
                                   Pixels(*point.LeaveOneOutPixels),
                                   point.Known && point.Pixels > 0
                                       ? QStringLiteral(" (about %1 m on the ground)")
                                             .arg(FromUtf16(FormatCoordinate(
                                                 0, point.Metres * *point.LeaveOneOutPixels
                                                     / point.Pixels)))
                                       : QString()));
    }
    suspect_->setVisible(suspect >= 0);
    // A single point explains the error: the other mapping would only move it elsewhere.
    switch_->setVisible(suspect < 0 && ClearlyBetter(other, current));
    if (suspect >= 0 && suspect != shownSuspect_)
        emit SuspectFound(suspect);
    shownSuspect_ = suspect;

    // Under the two nearest points a pair on one parallel or meridian ends an overlay with the
    // floating-point error; this says which pair it was and why.
    QString faults;
    if (setup.Kind == MappingKind::TwoNearest) {
        const std::vector<NearestPairFault> found = FindNearestPairFaults(points);
        for (const NearestPairFault &fault : found)
            faults += (faults.isEmpty() ? QString() : QStringLiteral("; ")) + PairText(points, fault);
        if (!faults.isEmpty())
            faults = QStringLiteral("The two nearest points cannot divide by a pair on one parallel "
                                    "or meridian more than 30 px apart: ")
                + faults
                + QStringLiteral(". A waypoint they are nearest to ends the overlay with a "
                                 "floating point error; the best fit does not need such pairs.");
    }
    pairFaults_->setText(faults);
    pairFaults_->setVisible(!faults.isEmpty());
}

} // namespace carteva
