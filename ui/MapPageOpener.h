// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/MapModel.h"
#include "calibration/Mapping.h"
#include "ui/MapPageAddress.h"
#include "ui/WorkingPlace.h"

#include <span>

class QWidget;

namespace carteva {

class PictureScrollArea;

// "Open map": the web map at the place the window shows, in the system's browser.
class MapPageOpener
{
public:
    explicit MapPageOpener(MapPageAddress address = MapPageAddress::Built());

    // The address for what `area` shows of a picture calibrated by `points`, placed by the
    // mapping the user chose.
    QUrl AddressFor(std::span<const TCalibPoint> points, const PictureScrollArea &area,
                    const MappingSetup &kind = MappingKind::TwoNearest) const;
    // The same placed by `mapping`, made for those points.
    QUrl AddressFor(std::span<const TCalibPoint> points, const PictureScrollArea &area,
                    const Mapping &mapping) const;
    // Opens the address for the open map, placed by its georeferencing; when no browser starts,
    // a box over `owner` and the log say why.
    void Open(QWidget *owner, const MapModel &map, const PictureScrollArea &area) const;

    static PictureInSight InSight(const PictureScrollArea &area);

private:
    MapPageAddress address_;
};

} // namespace carteva
