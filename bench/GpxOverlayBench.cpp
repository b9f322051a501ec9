// SPDX-License-Identifier: GPL-2.0-or-later
// Times the whole GPX overlay on a million waypoints: parse, keep what the window keeps of the
// file (the positions), map with ten calibration points and paint into a 4000 × 3000 picture; against it, in the
// same run, a bare libxml2 SAX2 pass over the same file that only counts start tags, the floor for
// any overlay read by a conforming parser. With --peer, also GDAL's GPX driver (ogrinfo) on the
// same file. With --track, the file is one track of a million points instead, read and drawn as
// lines; with --best-fit, the mapping is the best fit through the points; with --quadratic, the
// best fit through twelve points of a map whose parallels bend (a quadratic fit); with
// --projection DEF, the best fit in that projection (EPSG:32633, say) through twelve points of a
// map drawn in it.
//
//     GpxOverlayBench [file] [runs] [--peer] [--track] [--best-fit] [--quadratic]
//                     [--projection DEF]
//
// The file (default /tmp/carteva-bench/waypoints-1m.gpx, or track-1m.gpx) is generated when it
// does not exist.

#include "calibration/BestFit.h"
#include "calibration/CalibPoint.h"
#include "calibration/MapProjection.h"
#include "calibration/Mapping.h"
#include "gpx/GpxLoader.h"
#include "gpx/GpxOverlay.h"
#include "ui/OverlayPlot.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <algorithm>
#include <memory>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <ctime>
#include <vector>

namespace {

using namespace carteva;
namespace fs = std::filesystem;

constexpr int Width = 4000;
constexpr int Height = 3000;
constexpr int WaypointCount = 1'000'000;

// The picture covers 49°..51° N and 13°..17° E, north up.
constexpr double North = 51, South = 49, West = 13, East = 17;

class BufferSurface
{
public:
    BufferSurface()
        : pixels_(std::size_t(Width) * Height, 0xFFFFFFFF)
    { }
    PixelBatch::Take Take()
    {
        return [this](std::span<const Pixel> pixels) {
            for (const Pixel &pixel : pixels)
                if (pixel.X >= 0 && pixel.Y >= 0 && pixel.X < Width && pixel.Y < Height)
                    pixels_[std::size_t(pixel.Y) * Width + std::size_t(pixel.X)] = 0xFFFF8000;
        };
    }

private:
    std::vector<std::uint32_t> pixels_; // RGB32
};

void Generate(const fs::path &path, bool track)
{
    fs::create_directories(path.parent_path());
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"GpxOverlayBench\""
               " xmlns=\"http://www.topografix.com/GPX/1/1\""
               " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
               " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1"
               " http://www.topografix.com/GPX/1/1/gpx.xsd\">\n",
               file);
    std::mt19937_64 random(20240501);
    std::uniform_real_distribution<double> lat(South, North), lon(West, East), ele(150, 1600);
    if (track) {
        // A walk over the picture, a few pixels a step, turning back at its edges.
        std::fputs("  <trk>\n    <name>Bench</name>\n    <trkseg>\n", file);
        std::uniform_real_distribution<double> step(-0.002, 0.002);
        double la = (North + South) / 2, lo = (East + West) / 2;
        for (int i = 0; i < WaypointCount; ++i) {
            la = std::clamp(la + step(random), South, North);
            lo = std::clamp(lo + step(random), West, East);
            std::fprintf(file,
                         "      <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>"
                         "<time>2024-05-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
                         la, lo, ele(random), 1 + i % 28, i % 24, i % 60, i * 7 % 60);
        }
        std::fputs("    </trkseg>\n  </trk>\n", file);
    }
    for (int i = 0; i < (track ? 0 : WaypointCount); ++i) {
        std::fprintf(file,
                     "  <wpt lat=\"%.7f\" lon=\"%.7f\">\n    <ele>%.1f</ele>\n"
                     "    <time>2024-05-%02dT%02d:%02d:%02dZ</time>\n"
                     "    <name>Waypoint %07d</name>\n  </wpt>\n",
                     lat(random), lon(random), ele(random), 1 + i % 28, i % 24, i % 60, i * 7 % 60,
                     i);
    }
    std::fputs("</gpx>\n", file);
    if (std::fclose(file) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

// Ten points on a 5 × 2 grid over the picture; pixels follow the coordinates linearly.
std::vector<TCalibPoint> Calibration()
{
    std::vector<TCalibPoint> points;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 5; ++column) {
            TCalibPoint point;
            point.X = 200 + column * 900;
            point.Y = 300 + row * 2400;
            point.Lon = West + (East - West) * point.X / Width;
            point.Lat = North - (North - South) * point.Y / Height;
            points.push_back(point);
        }
    }
    return points;
}

// Twelve points on a 4 × 3 grid of a map whose parallels bend by up to 160 px, or of a map drawn
// in `projection` at 72 m a pixel about 50° N 15° E.
std::vector<TCalibPoint> CurvedCalibration(const MapProjection *projection)
{
    std::vector<TCalibPoint> points;
    const std::optional<PlanePoint> centre
        = projection ? projection->Forward(50, 15) : std::optional<PlanePoint>();
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            TCalibPoint point;
            point.X = 200 + column * 1200;
            point.Y = 300 + row * 1200;
            if (centre) {
                const auto position = projection->Inverse(centre->E + (point.X - Width / 2) * 72.0,
                                                          centre->N - (point.Y - Height / 2) * 72.0);
                point.Lat = position->first;
                point.Lon = position->second;
            } else {
                const double bend = 4e-5 * (point.X - Width / 2) * (point.X - Width / 2);
                point.Lon = West + (East - West) * point.X / Width;
                point.Lat = North - (North - South) * (point.Y - bend) / Height;
            }
            points.push_back(point);
        }
    }
    return points;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// User plus system time of this process: less disturbed than wall time when the machine is busy.
double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// This thread's own CPU time: the parse and the drawing, without the helper threads, which on a
// quiet machine run beside it. Under a busy second core the wall time follows this.
double ThreadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void CountStartTag(void *count, const xmlChar *, const xmlChar *, const xmlChar *, int,
                   const xmlChar **, int, int, const xmlChar **)
{
    ++*static_cast<long *>(count);
}

// libxml2 reading the file itself, with nothing but a counter behind it; through the calls each
// series offers undeprecated for that (2.11 and later deprecate the one 2.9 has).
long BareSaxPass(const fs::path &path)
{
    xmlSAXHandler handler {};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = CountStartTag;
    long count = 0;
#if LIBXML_VERSION >= 21100
    bool wellFormed = false;
    if (xmlParserCtxtPtr context = xmlNewSAXParserCtxt(&handler, &count)) {
        xmlFreeDoc(xmlCtxtReadFile(context, path.c_str(), nullptr, 0));
        const xmlError *error = xmlCtxtGetLastError(context);
        wellFormed = error == nullptr || error->level < XML_ERR_ERROR;
        xmlFreeParserCtxt(context);
    }
#else
    const bool wellFormed = xmlSAXUserParseFile(&handler, &count, path.c_str()) == 0;
#endif
    if (!wellFormed) {
        std::fprintf(stderr, "bare pass: %s is not well-formed\n", path.c_str());
        std::exit(1);
    }
    return count;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double PeakMegabytes(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto option = [&](std::string_view name) {
        const auto found = std::find(arguments.begin(), arguments.end(), name);
        if (found == arguments.end())
            return false;
        arguments.erase(found);
        return true;
    };
    const bool peer = option("--peer");
    const bool track = option("--track");
    const bool quadratic = option("--quadratic");
    std::shared_ptr<const MapProjection> projection;
    if (const auto found = std::find(arguments.begin(), arguments.end(), "--projection");
        found != arguments.end() && found + 1 != arguments.end()) {
        projection = std::make_shared<const MapProjection>(std::string(*(found + 1)));
        arguments.erase(found, found + 2);
    }
    const bool fit = option("--best-fit") || quadratic || projection;
    const MappingSetup kind(fit ? MappingKind::BestFit : MappingKind::TwoNearest, projection);
    const fs::path path = arguments.size() > 0 ? fs::path(arguments[0])
        : track ? fs::path("/tmp/carteva-bench/track-1m.gpx")
                : fs::path("/tmp/carteva-bench/waypoints-1m.gpx");
    const int runs = arguments.size() > 1 ? std::max(1, std::atoi(arguments[1].data())) : 3;
    if (!fs::exists(path)) {
        std::printf("generating %s ...\n", path.c_str());
        Generate(path, track);
    }
    const double fileMegabytes = fs::file_size(path) / 1048576.0;
    const std::vector<TCalibPoint> points
        = quadratic || projection ? CurvedCalibration(projection.get()) : Calibration();
    if (fit) {
        const Mapping mapping(kind, points);
        std::printf("best fit: %s%s\n", mapping.Fit()->Summary().c_str(),
                    projection ? (", in " + projection->Name()).c_str() : "");
    }
    BufferSurface surface;
    const double pictureMegabytes = double(Width) * Height * 4 / 1048576.0;
    std::printf("file %s: %.1f MiB; picture %d x %d RGB32: %.1f MiB\n", path.c_str(), fileMegabytes,
                Width, Height, pictureMegabytes);
    xmlInitParser();

    std::vector<double> totals, bares, ratios, threadRatios;
    for (int run = 1; run <= runs; ++run) {
        // The bare pass first, so that both find the file in the page cache alike.
        const double bareCpuStart = CpuSeconds();
        const auto bareStart = std::chrono::steady_clock::now();
        const long startTags = BareSaxPass(path);
        bares.push_back(Seconds(std::chrono::steady_clock::now() - bareStart));
        const double bareCpu = CpuSeconds() - bareCpuStart;

        const double cpuStart = CpuSeconds();
        const double threadStart = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        GpxLoader loader;
        loader.CollectLines(track);
        // What the window keeps of the file for drawing again.
        const GpxOverlay kept = loader.Load(path);
        const auto parsed = std::chrono::steady_clock::now();
        const std::size_t keptBytes = kept.MemoryUsed();
        const WaypointCounts counts
            = OverlayPlot::Plot(kept, kind, points, track, Width, Height, surface.Take());
        const std::size_t linePoints = kept.LinePointCount();
        const auto drawn = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds() - cpuStart;
        const double threadCpu = ThreadCpuSeconds() - threadStart;
        threadRatios.push_back(threadCpu / bareCpu);
        totals.push_back(Seconds(drawn - start));
        ratios.push_back(totals.back() / bares.back());
        std::printf("run %d: bare pass %.3f s (cpu %.3f s, %ld start tags); overlay: load %.3f s + "
                    "draw %.3f s = %.3f s (cpu %.3f s, this thread %.3f s), ratio "
                    "%.2f, this "
                    "thread's cpu to the bare pass's %.2f; kept %.1f MiB; painted %zu, "
                    "outside %zu, not mappable %zu, skipped %zu; line points %zu\n",
                    run, bares.back(), bareCpu, startTags, Seconds(parsed - start),
                    Seconds(drawn - parsed), totals.back(), cpu, threadCpu, ratios.back(),
                    threadRatios.back(), keptBytes / 1048576.0,
                    counts.Painted, counts.Outside, counts.NotMappable, counts.Skipped, linePoints);
    }
    const double peak = PeakMegabytes(RUSAGE_SELF);

    // The peer's figures come from /usr/bin/time: a child forked from this process would count
    // this process's pages as its own.
    if (!peer) {
        std::printf("peer: not run (--peer runs GDAL's ogrinfo on the file)\n");
    } else if (std::system("command -v ogrinfo > /dev/null 2>&1") == 0
               && fs::exists("/usr/bin/time")) {
        const fs::path report = path.string() + ".time";
        const std::string command = "/usr/bin/time -f '%e %M' -o '" + report.string()
            + "' ogrinfo -ro -al -so '" + path.string() + "' > /dev/null";
        const int status = std::system(command.c_str());
        double seconds = 0, kilobytes = 0;
        if (std::FILE *file = std::fopen(report.c_str(), "r")) {
            if (std::fscanf(file, "%lf %lf", &seconds, &kilobytes) != 2)
                seconds = kilobytes = 0;
            std::fclose(file);
        }
        fs::remove(report);
        std::printf("peer: ogrinfo -ro -al -so: %.3f s, peak memory %.1f MiB%s\n", seconds,
                    kilobytes / 1024, status == 0 ? "" : " (failed)");
    } else {
        std::printf("peer: not run (needs ogrinfo from gdal-bin and /usr/bin/time)\n");
    }

    std::printf("overlay: best %.3f s, median %.3f s; bare SAX2 pass: best %.3f s, median %.3f s; "
                "ratio (median of runs) %.2f, goal 1.15 (this thread's cpu: %.2f); peak memory %.1f MiB, goal %.1f MiB "
                "= 1.5 x (file + picture)\n",
                *std::min_element(totals.begin(), totals.end()), Median(totals),
                *std::min_element(bares.begin(), bares.end()), Median(bares), Median(ratios),
                Median(threadRatios), peak,
                1.5 * (fileMegabytes + pictureMegabytes));
    return 0;
}
