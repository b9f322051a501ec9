// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/MapPageAddress.h"

#include "ui/MapPageSettings.h"

#include <cmath>
#include <utility>

namespace carteva {

MapPageAddress::MapPageAddress(QString address, QString host)
    : address_(std::move(address))
    , host_(std::move(host))
{ }

MapPageAddress MapPageAddress::Built()
{
    return MapPageAddress(QString::fromUtf8(CARTEVA_MAP_URL), QString::fromUtf8(CARTEVA_MAP_HOST));
}

QString MapPageAddress::Degrees(double value, int zoom)
{
    // A screen pixel at level z spans 360 / (256 * 2^z) degrees of longitude.
    const int decimals = std::max(0, int(std::ceil(std::log10(256 * std::exp2(zoom) / 360))));
    // A value that rounds to zero is written without a sign.
    if (std::round(value * std::pow(10.0, decimals)) == 0)
        value = 0;
    return QString::number(value, 'f', decimals);
}

QUrl MapPageAddress::For(const MapPlace &place) const
{
    const QString lat = Degrees(place.Lat, place.Zoom);
    const QString lon = Degrees(place.Lon, place.Zoom);
    const QString zoom = QString::number(place.Zoom);
    if (!address_.isEmpty()) {
        QString address = address_;
        address.replace(QStringLiteral("{lat}"), lat)
            .replace(QStringLiteral("{lon}"), lon)
            .replace(QStringLiteral("{zoom}"), zoom);
        return QUrl(address);
    }
    if (!host_.isEmpty())
        return QUrl(QStringLiteral("http://") + host_ + QStringLiteral("/gmaps/google_maps.php"));
    return QUrl(OpenStreetMap + QStringLiteral("#map=%1/%2/%3").arg(zoom, lat, lon));
}

} // namespace carteva
