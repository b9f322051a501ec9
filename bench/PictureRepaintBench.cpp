// SPDX-License-Identifier: GPL-2.0-or-later
// One full repaint of a 1600 × 1000 picture area (beside the scroll bars) showing the middle of a
// picture with a million waypoints shown over it (goal: at most 16 ms each): a 12000 × 9000
// picture in memory at zoom 1/8, 1, 4 and 16, and a 20000 × 28000 24-bit A0 sheet read from its
// file (/tmp/carteva-a0-bench.bmp, 1.68 GB, written on the first run) at every zoom. Also: the
// resident memory that the million waypoints add over the first screen (goal: at most 64 MB), and
// a point's removal with them shown: the waypoints mapped again and the screen repainted (goal:
// at most 50 ms).
//
//   build/bench/PictureRepaintBench [google benchmark options]
//   (QT_QPA_PLATFORM=offscreen unless a display is set; reports the median of 9 repetitions)

#include "bench/BenchBitmaps.h"
#include "picture/Picture.h"
#include "picture/PictureLoader.h"
#include "calibration/CalibPoint.h"
#include "gpx/GpxLines.h"
#include "gpx/GpxOverlay.h"
#include "ui/PictureLayers.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"

#include <QApplication>
#include <QScrollBar>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

using namespace carteva;

constexpr QSize kPicture {12000, 9000};
constexpr QSize kSheet {bench::A0Width, bench::A0Height};
constexpr QSize kArea {1600, 1000};
constexpr int kWaypoints = 1'000'000;
const QString kSheetPath = QStringLiteral("/tmp/carteva-a0-bench.bmp");

// The picture covers 51°..49° N and 13°..17° E, north up: two points at its corners, and a
// third in the middle that a removal takes away.
std::vector<TCalibPoint> Calibration(QSize size, bool third)
{
    const auto at = [](int x, int y, double lat, double lon) {
        TCalibPoint point;
        point.X = x;
        point.Y = y;
        point.Lat = lat;
        point.Lon = lon;
        return point;
    };
    std::vector<TCalibPoint> points {at(0, 0, 51, 13), at(size.width(), size.height(), 49, 17)};
    if (third)
        points.push_back(at(size.width() / 2, size.height() / 2, 50, 15));
    return points;
}

// A million waypoints spread evenly over the picture, as a GPX file's overlay.
GpxOverlay Waypoints()
{
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> lat(49, 51), lon(13, 17);
    GpxLines waypoints;
    char latText[32], lonText[32];
    for (int i = 0; i < kWaypoints; ++i) {
        const int latLength = std::snprintf(latText, sizeof latText, "%.7f", lat(random));
        const int lonLength = std::snprintf(lonText, sizeof lonText, "%.7f", lon(random));
        waypoints.StartLine();
        waypoints.AddPoint(std::string_view(latText, std::size_t(latLength)),
                           std::string_view(lonText, std::size_t(lonLength)));
    }
    PositionList positions;
    positions.Add(waypoints);
    return GpxOverlay(std::move(positions), PositionList(), false);
}

// A picture with detail everywhere, so no repaint can take a short cut over flat colour.
QImage MapLikeImage()
{
    QImage image(kPicture, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
    }
    return image;
}

struct Shown
{
    std::unique_ptr<PictureScrollArea> area;
    PictureLayers *layers = nullptr;
    bool thirdPoint = true;
    double residentBeforePainting = 0;
    double residentAfterPainting = 0;
    double pictureMegabytes = 0;
};

// 0: the map in memory; 1: the A0 sheet from its file. Released before the application ends:
// widgets must not outlive it.
Shown shown[2];

Shown &Area(int which)
{
    Shown &made = shown[which];
    if (made.area)
        return made;
    made.area = std::make_unique<PictureScrollArea>(new PictureView);
    if (which == 0) {
        made.area->View().SetPicture(Picture(PictureKind::Bitmap, MapLikeImage()));
        made.pictureMegabytes = double(kPicture.width()) * kPicture.height() * 4 / 1048576.0;
    } else {
        if (!bench::WriteDetailedBitmap(kSheetPath, kSheet.width(), kSheet.height()))
            std::abort();
        made.area->View().SetPicture(LoadPicture(kSheetPath));
        made.pictureMegabytes = double(kSheet.width()) * kSheet.height() * 3 / 1048576.0;
    }
    PictureScrollArea &area = *made.area;
    area.resize(kArea);
    area.show();
    // The picture's part of the area is 1600 x 1000, beside the scroll bars.
    area.resize(kArea + area.size() - area.viewport()->size());
    // Painting starts once the window system has exposed the window.
    while (!area.windowHandle() || !area.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
    made.residentBeforePainting = bench::ResidentMegabytes();
    made.layers = new PictureLayers(area.View());
    made.layers->AddOverlay(Waypoints(), MappingKind::TwoNearest,
                            Calibration(area.View().PictureSize(), true), false, {});
    QApplication::processEvents();
    made.residentAfterPainting = bench::ResidentMegabytes();
    return made;
}

void BM_FullRepaint(benchmark::State &state)
{
    PictureScrollArea &area = *Area(int(state.range(1))).area;
    const double zoom = PictureView::ZoomLevels[std::size_t(state.range(0))];
    area.ZoomTo(zoom, area.ViewCentre());
    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum() / 2);
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum() / 2);
    QApplication::processEvents();
    // Everything in sight, painted at once.
    const QRect inSight = area.viewport()->rect().translated(-area.View().pos());
    for (auto _ : state)
        area.View().repaint(inSight);
    state.SetLabel((state.range(1) == 0 ? "map, zoom " : "A0 sheet, zoom ") + std::to_string(zoom));
}
void BM_WaypointsMemory(benchmark::State &state)
{
    Shown &shown = Area(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(shown.layers->PixelCount());
    const double growth = shown.residentAfterPainting - shown.residentBeforePainting;
    state.counters["picture_MiB"] = shown.pictureMegabytes;
    state.counters["first_screen_resident_MiB"] = shown.residentBeforePainting;
    state.counters["growth_MiB"] = growth;
    state.counters["layer_MiB"] = double(shown.layers->MemoryUsed()) / 1048576.0;
    state.counters["pixels"] = double(shown.layers->PixelCount());
}
BENCHMARK(BM_WaypointsMemory)->Arg(0)->Arg(1)->Iterations(1);

// The map at levels 1/8, 1, 4 and 16 of PictureView::ZoomLevels; the sheet at every level.
BENCHMARK(BM_FullRepaint)
    ->Args({0, 0})
    ->Args({3, 0})
    ->Args({6, 0})
    ->Args({10, 0})
    ->ArgsProduct({benchmark::CreateDenseRange(0, int(PictureView::ZoomLevels.size()) - 1, 1), {1}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// A point removed (or put back, every other time): every waypoint mapped again, and the screen
// at one to one repainted.
void BM_RemovePoint(benchmark::State &state)
{
    Shown &shown = Area(int(state.range(0)));
    PictureScrollArea &area = *shown.area;
    area.ZoomTo(1, area.ViewCentre());
    QApplication::processEvents();
    const QRect inSight = area.viewport()->rect().translated(-area.View().pos());
    for (auto _ : state) {
        shown.thirdPoint = !shown.thirdPoint;
        shown.layers->Follow(MappingKind::TwoNearest,
                             Calibration(area.View().PictureSize(), shown.thirdPoint), false);
        area.View().repaint(inSight);
    }
}
BENCHMARK(BM_RemovePoint)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (Shown &each : shown)
        each.area.reset();
    return 0;
}
