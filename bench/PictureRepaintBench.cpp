// SPDX-License-Identifier: GPL-2.0-or-later
// One full repaint of a 1600 × 1000 picture area (beside the scroll bars) showing the middle of a
// picture with a million waypoints painted on it (goal: at most 16 ms each): a 12000 × 9000
// picture in memory at zoom 1/8, 1, 4 and 16, and a 20000 × 28000 24-bit A0 sheet read from its
// file (/tmp/carteva-a0-bench.bmp, 1.68 GB, written on the first run) at every zoom. Also: the
// resident memory that painting the waypoints adds (goal: at most 10 % of the picture's for the
// kept originals; on the sheet it includes the pages the painting copies), and taking the million
// pixels off and painting them again, as a point's removal does (the mapping not included).
//
//   build/bench/PictureRepaintBench [google benchmark options]
//   (QT_QPA_PLATFORM=offscreen unless a display is set; reports the median of 9 repetitions)

#include "bench/BenchBitmaps.h"
#include "picture/Picture.h"
#include "picture/PictureLoader.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureSurface.h"
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

// Spread evenly over the picture, as the worst case for the bits that say which pixels are kept.
std::vector<QPoint> Waypoints(QSize size)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> x(0, size.width() - 1), y(0, size.height() - 1);
    std::vector<QPoint> made(kWaypoints);
    for (QPoint &waypoint : made)
        waypoint = QPoint(x(random), y(random));
    return made;
}

void PaintWaypoints(PictureView &view, const std::vector<QPoint> &waypoints)
{
    PictureSurface surface(view);
    for (const QPoint &waypoint : waypoints)
        surface.SetPixel(waypoint.x(), waypoint.y(), ColourOrange);
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
    std::vector<QPoint> waypoints;
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
    made.waypoints = Waypoints(area.View().PictureSize());
    made.residentBeforePainting = bench::ResidentMegabytes();
    PaintWaypoints(area.View(), made.waypoints);
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
void BM_KeptOriginalsMemory(benchmark::State &state)
{
    Shown &shown = Area(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(shown.area->View().PaintedPixelCount());
    const double growth = shown.residentAfterPainting - shown.residentBeforePainting;
    state.counters["picture_MiB"] = shown.pictureMegabytes;
    state.counters["resident_MiB"] = shown.residentBeforePainting;
    state.counters["growth_MiB"] = growth;
    state.counters["growth_%_of_picture"] = 100 * growth / shown.pictureMegabytes;
    state.counters["kept"] = double(shown.area->View().PaintedPixelCount());
}
BENCHMARK(BM_KeptOriginalsMemory)->Arg(0)->Arg(1)->Iterations(1);

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

void BM_TakeOffAndPaintAgain(benchmark::State &state)
{
    Shown &shown = Area(int(state.range(0)));
    PictureView &view = shown.area->View();
    for (auto _ : state) {
        view.RestoreOriginalPixels();
        PaintWaypoints(view, shown.waypoints);
    }
}
BENCHMARK(BM_TakeOffAndPaintAgain)
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
