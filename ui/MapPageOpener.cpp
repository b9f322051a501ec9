// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/MapPageOpener.h"

#include "calibration/Mapping.h"
#include "ui/ErrorHandler.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <utility>

namespace carteva {

namespace {

Q_LOGGING_CATEGORY(lcUi, "carteva.ui")

// Why QDesktopServices found nothing to start, as far as can be told from outside.
QString NoBrowserReason()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return QStringLiteral("the \"%1\" platform opens no web pages").arg(platform);
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()
        && qEnvironmentVariableIsEmpty("BROWSER") && qEnvironmentVariableIsEmpty("DEFAULT_BROWSER"))
        return QStringLiteral("no web browser was found: xdg-open is not installed (Debian package "
                              "xdg-utils) and BROWSER is not set");
    return QStringLiteral("the desktop's handler for web pages could not be started");
}

} // namespace

MapPageOpener::MapPageOpener(MapPageAddress address)
    : address_(std::move(address))
{ }

PictureInSight MapPageOpener::InSight(const PictureScrollArea &area)
{
    const PictureView &view = area.View();
    // The view moves inside the viewport as the area scrolls.
    const QRect onScreen = area.viewport()->rect() & view.geometry();
    const QRectF pixels = onScreen.isEmpty()
        ? QRectF()
        : QRectF(QPointF(onScreen.topLeft() - view.pos()) / view.Zoom(),
                 QSizeF(onScreen.size()) / view.Zoom());
    return {view.PictureSize(), pixels, QSizeF(onScreen.size())};
}

QUrl MapPageOpener::AddressFor(std::span<const TCalibPoint> points,
                               const PictureScrollArea &area, const MappingSetup &kind) const
{
    return AddressFor(points, area, Mapping(kind, points));
}

QUrl MapPageOpener::AddressFor(std::span<const TCalibPoint> points,
                               const PictureScrollArea &area, const Mapping &mapping) const
{
    const PixelToPosition toPosition
        = [&mapping](double x, double y) { return mapping.PixelToGeo(x, y); };
    return address_.For(WorkingPlace::Find(points, InSight(area), toPosition));
}

void MapPageOpener::Open(QWidget *owner, const MapModel &map, const PictureScrollArea &area) const
{
    const QUrl address = AddressFor(map.Points(), area, map.Georeferencing());
    if (Platform::Current().OpenUrl(address))
        return;
    const QString text = QStringLiteral("Cannot open the map page %1: %2.")
                             .arg(address.toString(), NoBrowserReason());
    qCWarning(lcUi, "%s", qUtf8Printable(text));
    Platform::Current().ShowMessage(owner, text, ErrorHandler::OwnCaption(), QMessageBox::Warning);
}

} // namespace carteva
