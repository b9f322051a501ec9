// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PointsTableModel.h"

#include "calibration/NumberText.h"
#include "ui/ErrorHandler.h"
#include "ui/TextCrossing.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

#include <climits>
#include <cmath>
#include <utility>

namespace carteva {

namespace {

QString Integer(long long value)
{
    return FromUtf16(FormatInteger(std::int32_t(std::clamp<long long>(value, INT_MIN, INT_MAX))));
}

// One decimal is finer than a click can place a point.
QString Residual(double value)
{
    return std::isfinite(value) ? FromUtf16(FormatCoordinate(1, value)) : QString();
}

} // namespace

PointsTableModel::PointsTableModel(const std::vector<TCalibPoint> &points,
                                   SetCoordinate setCoordinate, QObject *parent)
    : QAbstractTableModel(parent)
    , points_(points)
    , setCoordinate_(std::move(setCoordinate))
{ }

void PointsTableModel::Refresh(const MappingSetup &setup)
{
    report_ = ComputeResiduals(setup, points_);
    const int rows = int(std::min<std::size_t>(points_.size(), INT_MAX));
    if (rows == rows_) {
        // Same rows: the selection stays, as after an in-place edit it should.
        if (rows > 0)
            emit dataChanged(index(0, 0), index(rows - 1, Columns - 1));
        return;
    }
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

int PointsTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int PointsTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant PointsTableModel::data(const QModelIndex &index, int role) const
{
    const auto row = std::size_t(index.row());
    if (!index.isValid() || row >= points_.size())
        return {};
    const TCalibPoint &point = points_[row];
    const PointResidual *residual
        = row < report_.Points.size() && report_.Points[row].Known ? &report_.Points[row] : nullptr;
    const bool suspect = row < report_.Points.size() && report_.Points[row].Suspect;
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
        case Number: return Integer(static_cast<long long>(row) + 1);
        case X: return Integer(point.X);
        case Y: return Integer(point.Y);
        case Latitude: return FromUtf16(FormatCoordinate(6, point.Lat));
        case Longitude: return FromUtf16(FormatCoordinate(6, point.Lon));
        case ResidualPixels: return residual ? Residual(residual->Pixels) : QString();
        case ResidualMetres: return residual ? Residual(residual->Metres) : QString();
        case Check: return suspect ? QStringLiteral("Suspect") : QString();
        default: return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == Check && suspect)
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    if (role == Qt::ToolTipRole && index.column() == Check && suspect)
        return QStringLiteral("This point lies far from where the other points put it: check its "
                              "latitude and longitude");
    if (role == Qt::TextAlignmentRole && index.column() != Check)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant PointsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Number: return QStringLiteral("#");
    case X: return QStringLiteral("X");
    case Y: return QStringLiteral("Y");
    case Latitude: return QStringLiteral("Latitude");
    case Longitude: return QStringLiteral("Longitude");
    case ResidualPixels: return QStringLiteral("Residual px");
    case ResidualMetres: return QStringLiteral("Residual m");
    case Check: return QStringLiteral("Check");
    default: return {};
    }
}

Qt::ItemFlags PointsTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == Latitude || index.column() == Longitude)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool PointsTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || (index.column() != Latitude && index.column() != Longitude))
        return false;
    bool done = false;
    // A refusal is reported as Save reports it; the cell keeps its old value.
    Guarded([&] {
        setCoordinate_(std::size_t(index.row()), index.column() == Latitude, value.toString());
        done = true;
    });
    return done;
}

} // namespace carteva
