// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Residuals.h"

#include <QAbstractTableModel>

#include <cstddef>
#include <functional>
#include <vector>

namespace carteva {

// The point list as a table: number, pixel, position, residual in pixels and metres under the
// chosen mapping, and a mark on suspect points. Latitude and longitude are edited through the
// owner of the list (the calibration document), so an edit is an undo step like any other.
class PointsTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Number, X, Y, Latitude, Longitude, ResidualPixels, ResidualMetres, Check, Columns };

    // Sets a point's latitude or longitude from text; throws on text it refuses.
    using SetCoordinate = std::function<void(std::size_t row, bool latitude, const QString &text)>;

    PointsTableModel(const std::vector<TCalibPoint> &points, SetCoordinate setCoordinate,
                     QObject *parent = nullptr);

    // Reads the list again and judges it with the given mapping (the Check column always by the
    // best fit).
    void Refresh(const MappingSetup &setup);
    const ResidualReport &Report() const { return report_; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    const std::vector<TCalibPoint> &points_;
    SetCoordinate setCoordinate_;
    ResidualReport report_;
    int rows_ = 0;
};

} // namespace carteva
