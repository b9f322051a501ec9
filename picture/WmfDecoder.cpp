// SPDX-License-Identifier: GPL-2.0-or-later
#include "picture/WmfDecoder.h"

#include "calibration/Errors.h"
#include "picture/LittleEndian.h"

#include <QFile>
#include <QList>
#include <QtEndian>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h> // the image the GD device leaves behind
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>

namespace carteva {

namespace {

constexpr char NotValid[] = "Metafile is not valid";
constexpr quint32 PlaceableKey = 0x9AC6CDD7;
constexpr qsizetype PlaceableHeaderSize = 22;
constexpr qsizetype MetaHeaderSize = 18;
constexpr quint16 SetWindowOrg = 0x020B;
constexpr quint16 SetWindowExt = 0x020C;
constexpr quint16 CreatePenIndirect = 0x02FA;
// libwmf's GD device stamps a square of the pen's width at every point of a line, so a pen
// thousands of pixels wide takes hours; no picture needs one wider than this.
constexpr int MaxPenPixels = 16;
constexpr int ScreenDpi = 96;
// libwmf's device units for a placeable metafile are points.
constexpr double PointsPerInch = 72.0;

[[noreturn]] void Fail()
{
    throw Error(NotValid);
}

struct Point
{
    int X = 0;
    int Y = 0;
};

// What the headers and the first window records say about the picture's frame.
struct Layout
{
    bool Placeable = false;
    int Left = 0, Top = 0, Right = 0, Bottom = 0; // placeable frame, in metafile units
    int UnitsPerInch = 0;
    Point WindowOrg;
    std::optional<Point> WindowExt;
    QList<qsizetype> PenRecords; // where each pen record starts
};

Layout ReadLayout(const QByteArray &wmf)
{
    Layout layout;
    qsizetype at = 0;
    if (wmf.size() >= PlaceableHeaderSize && ReadU32(wmf, 0) == PlaceableKey) {
        layout.Placeable = true;
        layout.Left = ReadS16(wmf, 6);
        layout.Top = ReadS16(wmf, 8);
        layout.Right = ReadS16(wmf, 10);
        layout.Bottom = ReadS16(wmf, 12);
        layout.UnitsPerInch = ReadU16(wmf, 14);
        if (layout.UnitsPerInch == 0 || layout.Left == layout.Right || layout.Top == layout.Bottom)
            Fail();
        at = PlaceableHeaderSize;
    }
    if (wmf.size() < at + MetaHeaderSize)
        Fail();
    const quint16 type = ReadU16(wmf, at);
    const quint16 headerWords = ReadU16(wmf, at + 2);
    if ((type != 1 && type != 2) || headerWords != MetaHeaderSize / 2)
        Fail();

    // Records: a size in 16-bit words (with the 6-byte record header), a function, parameters.
    bool orgSeen = false;
    for (at += MetaHeaderSize; wmf.size() - at >= 6;) {
        const quint32 words = ReadU32(wmf, at);
        const quint16 function = ReadU16(wmf, at + 4);
        if (words < 3 || function == 0 || words > quint32(wmf.size() - at) / 2)
            break;
        // Both window records hold y before x.
        if (function == SetWindowOrg && words >= 5 && !orgSeen) {
            layout.WindowOrg = {ReadS16(wmf, at + 8), ReadS16(wmf, at + 6)};
            orgSeen = true;
        } else if (function == SetWindowExt && words >= 5 && !layout.WindowExt) {
            layout.WindowExt = Point {ReadS16(wmf, at + 8), ReadS16(wmf, at + 6)};
        } else if (function == CreatePenIndirect && words >= 5) {
            layout.PenRecords.append(at);
        }
        at += qsizetype(words) * 2;
    }
    return layout;
}

struct ApiDeleter
{
    void operator()(wmfAPI *api) const { wmf_api_destroy(api); }
};

// The GD device leaves its image to the caller, but the shared library does not export GD's own
// gdImageDestroy: release it the same way (everything was allocated with malloc).
void DestroyGdImage(void *image)
{
    auto *im = static_cast<gdImage *>(image);
    if (im == nullptr)
        return;
    if (im->pixels) {
        for (int y = 0; y < im->sy; ++y)
            std::free(im->pixels[y]);
        std::free(im->pixels);
    }
    if (im->tpixels) {
        std::free(im->_tpixels);
        std::free(im->tpixels);
    }
    std::free(im->polyInts);
    std::free(im->style);
    if (im->clip) {
        std::free(im->clip->list);
        std::free(im->clip);
    }
    std::free(im);
}

// Releases the device's image however the decoding ends.
struct GdImageRelease
{
    wmf_gd_t *Device;
    ~GdImageRelease()
    {
        DestroyGdImage(Device->gd_image);
        Device->gd_image = nullptr;
    }
};

// Narrows every pen to at most MaxPenPixels; a pen's width is the first of its parameters after
// the style.
void NarrowPens(QByteArray &wmf, const QList<qsizetype> &penRecords, double pixelsPerUnit)
{
    const int maxUnits = int(std::min(32767.0, std::ceil(MaxPenPixels / pixelsPerUnit)));
    for (const qsizetype at : penRecords) {
        const int width = ReadS16(wmf, at + 8);
        if (std::abs(width) > maxUnits)
            qToLittleEndian<qint16>(qint16(maxUnits), wmf.data() + at + 8);
    }
}

// Pixels at 96 dpi, rounded to nearest.
qint64 ToPixels(qint64 units, int unitsPerInch)
{
    return (units * ScreenDpi + unitsPerInch / 2) / unitsPerInch;
}

} // namespace

Picture WmfDecoder::Decode(QFile &file)
{
    QByteArray wmf = file.readAll();
    const Layout layout = ReadLayout(wmf);
    NarrowPens(wmf, layout.PenRecords,
               layout.Placeable ? double(ScreenDpi) / layout.UnitsPerInch : 1.0);

    wmfAPI_Options options {};
    options.function = wmf_gd_function;
    const unsigned long flags
        = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI *created = nullptr;
    if (wmf_api_create(&created, flags, &options) != wmf_E_None || created == nullptr)
        Fail();
    const std::unique_ptr<wmfAPI, ApiDeleter> api(created);
    wmf_gd_t *device = WMF_GD_GetData(api.get());
    device->type = wmf_gd_image;
    const GdImageRelease release {device};

    if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char *>(wmf.data()), long(wmf.size()))
        != wmf_E_None)
        Fail();
    wmfD_Rect drawn {};
    if (wmf_scan(api.get(), 0, &drawn) != wmf_E_None)
        Fail();

    // The frame to render, in libwmf's device units, and the picture's size in pixels. libwmf
    // places the window origin at device (0, 0).
    wmfD_Rect frame {};
    qint64 width = 0;
    qint64 height = 0;
    if (layout.Placeable) {
        const double scale = PointsPerInch / layout.UnitsPerInch;
        const int left = std::min(layout.Left, layout.Right);
        const int top = std::min(layout.Top, layout.Bottom);
        const int right = std::max(layout.Left, layout.Right);
        const int bottom = std::max(layout.Top, layout.Bottom);
        frame.TL = {float((left - layout.WindowOrg.X) * scale),
                    float((top - layout.WindowOrg.Y) * scale)};
        frame.BR = {float((right - layout.WindowOrg.X) * scale),
                    float((bottom - layout.WindowOrg.Y) * scale)};
        width = ToPixels(right - left, layout.UnitsPerInch);
        height = ToPixels(bottom - top, layout.UnitsPerInch);
    } else if (layout.WindowExt && layout.WindowExt->X != 0 && layout.WindowExt->Y != 0) {
        width = std::abs(layout.WindowExt->X);
        height = std::abs(layout.WindowExt->Y);
        frame.TL = {0, 0};
        frame.BR = {float(width), float(height)};
    } else {
        frame = drawn;
        const double drawnWidth = double(drawn.BR.x) - drawn.TL.x;
        const double drawnHeight = double(drawn.BR.y) - drawn.TL.y;
        if (!(drawnWidth <= Picture::MaxMetafileSide && drawnHeight <= Picture::MaxMetafileSide))
            Fail();
        width = std::lround(drawnWidth);
        height = std::lround(drawnHeight);
    }
    if (width <= 0 || height <= 0)
        return Picture(PictureKind::Metafile, QImage());
    if (width > Picture::MaxMetafileSide || height > Picture::MaxMetafileSide
        || width * height > Picture::MaxMetafilePixels)
        Fail();

    device->bbox = frame;
    device->width = unsigned(width);
    device->height = unsigned(height);
    if (wmf_play(api.get(), 0, &drawn) != wmf_E_None || device->gd_image == nullptr)
        Fail();
    const int *pixels = wmf_gd_image_pixels(device->gd_image);
    if (pixels == nullptr)
        Fail();

    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        Fail();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int *source = pixels + qsizetype(y) * image.width();
        // GD keeps a 7-bit transparency in the top byte; the picture is opaque.
        for (int x = 0; x < image.width(); ++x)
            line[x] = 0xFF000000u | (quint32(source[x]) & 0x00FFFFFFu);
    }
    return Picture(PictureKind::Metafile, std::move(image));
}

} // namespace carteva
