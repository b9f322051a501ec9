// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/WorkingPlace.h"

#include <QString>
#include <QUrl>

namespace carteva {

// The address "Open map" opens for a place. A build may set a page of its own: a full address in
// which {lat}, {lon} and {zoom} are filled in, or a host whose /gmaps/google_maps.php page is
// opened as it stands; otherwise OpenStreetMap's map, centred on the place.
class MapPageAddress
{
public:
    static inline const QString OpenStreetMap = QStringLiteral("https://www.openstreetmap.org/");

    // Empty texts are settings not made; the full address wins over the host.
    MapPageAddress(QString address, QString host);
    // The settings this program was built with.
    static MapPageAddress Built();

    bool SetByBuild() const { return !address_.isEmpty() || !host_.isEmpty(); }
    QUrl For(const MapPlace &place) const;

    // Degrees with as many decimals as a screen pixel at that level needs, always with a '.'.
    static QString Degrees(double value, int zoom);

private:
    QString address_;
    QString host_;
};

} // namespace carteva
