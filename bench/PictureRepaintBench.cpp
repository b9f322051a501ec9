// SPDX-License-Identifier: GPL-2.0-or-later
// One full repaint of a 1600 × 1000 picture area (beside the scroll bars) showing the middle of a
// 12000 × 9000 picture with a million waypoints painted on it, at zoom 1/8, 1, 4 and 16 (goal: at
// most 16 ms each). Also: the resident memory that keeping the painted pixels' originals adds
// (goal: at most 10 % of the picture's), and taking the million pixels off and painting them
// again, as a point's removal does (the mapping not included).
//
//   build/bench/PictureRepaintBench [google benchmark options]
//   (QT_QPA_PLATFORM=offscreen unless a display is set; reports the median of 9 repetitions)

#include "picture/Picture.h"
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
constexpr QSize kArea {1600, 1000};
constexpr int kWaypoints = 1'000'000;

double ResidentMegabytes()
{
    long pages = 0, resident = 0;
    if (std::FILE *file = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Spread evenly over the picture, as the worst case for the bits that say which pixels are kept.
const std::vector<QPoint> &Waypoints()
{
    static const std::vector<QPoint> waypoints = [] {
        std::mt19937 random(20261207);
        std::uniform_int_distribution<int> x(0, kPicture.width() - 1), y(0, kPicture.height() - 1);
        std::vector<QPoint> made(kWaypoints);
        for (QPoint &waypoint : made)
            waypoint = QPoint(x(random), y(random));
        return made;
    }();
    return waypoints;
}

void PaintWaypoints(PictureView &view)
{
    PictureSurface surface(view);
    for (const QPoint &waypoint : Waypoints())
        surface.SetPixel(waypoint.x(), waypoint.y(), ColourOrange);
}

double residentBeforePainting = 0;
double residentAfterPainting = 0;

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

PictureScrollArea &Area()
{
    static std::unique_ptr<PictureScrollArea> area = [] {
        auto made = std::make_unique<PictureScrollArea>(new PictureView);
        made->View().SetPicture(Picture(PictureKind::Bitmap, MapLikeImage()));
        made->resize(kArea);
        made->show();
        // The picture's part of the area is 1600 x 1000, beside the scroll bars.
        made->resize(kArea + made->size() - made->viewport()->size());
        // Painting starts once the window system has exposed the window.
        while (!made->windowHandle() || !made->windowHandle()->isExposed())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        Waypoints();
        residentBeforePainting = ResidentMegabytes();
        PaintWaypoints(made->View());
        QApplication::processEvents();
        residentAfterPainting = ResidentMegabytes();
        return made;
    }();
    return *area;
}

void BM_FullRepaint(benchmark::State &state)
{
    PictureScrollArea &area = Area();
    const double zoom = PictureView::ZoomLevels[std::size_t(state.range(0))];
    area.ZoomTo(zoom, area.ViewCentre());
    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum() / 2);
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum() / 2);
    QApplication::processEvents();
    // Everything in sight, painted at once.
    const QRect inSight = area.viewport()->rect().translated(-area.View().pos());
    for (auto _ : state)
        area.View().repaint(inSight);
    state.SetLabel("zoom " + std::to_string(zoom));
}
void BM_KeptOriginalsMemory(benchmark::State &state)
{
    PictureScrollArea &area = Area();
    for (auto _ : state)
        benchmark::DoNotOptimize(area.View().PaintedPixelCount());
    const double picture = double(kPicture.width()) * kPicture.height() * 4 / 1048576.0;
    state.counters["picture_MiB"] = picture;
    state.counters["resident_MiB"] = residentBeforePainting;
    state.counters["growth_MiB"] = residentAfterPainting - residentBeforePainting;
    state.counters["growth_%_of_picture"]
        = 100 * (residentAfterPainting - residentBeforePainting) / picture;
    state.counters["kept"] = double(area.View().PaintedPixelCount());
}
BENCHMARK(BM_KeptOriginalsMemory)->Iterations(1);

// Levels 1/8, 1, 4 and 16 of PictureView::ZoomLevels.
BENCHMARK(BM_FullRepaint)
    ->Arg(0)
    ->Arg(3)
    ->Arg(6)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_TakeOffAndPaintAgain(benchmark::State &state)
{
    PictureView &view = Area().View();
    for (auto _ : state) {
        view.RestoreOriginalPixels();
        PaintWaypoints(view);
    }
}
BENCHMARK(BM_TakeOffAndPaintAgain)
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
    return 0;
}
