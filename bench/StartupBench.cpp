// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up with a huge bitmap: from process start to the picture painted in the window, for a
// 12000 x 9000 map and a 20000 x 28000 A0 sheet side by side (goal: the sheet within 1.3 x of the
// map), with the resident memory after the first screen; against a process that only decodes the
// map with QImageReader, and one that only loads each with the program's own LoadPicture. Each is
// timed over several child processes, from fork to exit. Last, the resident memory once the whole
// sheet has been scrolled through at one to one (goal: at most 1.1 x its pixels' bytes).
//
//   build/bench/StartupBench [runs]      (QT_QPA_PLATFORM=offscreen unless a display is set)

#include "bench/BenchBitmaps.h"
#include "picture/PictureLoader.h"
#include "ui/CartevaApplication.h"
#include "ui/PictureScrollArea.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"
#include "ui/TfrmMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 12000;
constexpr int kHeight = 9000;

// Answers the bitmap dialog and the calibration warning without a user.
class AnsweringPlatform : public carteva::Platform
{
public:
    explicit AnsweringPlatform(QString path)
        : path_(std::move(path))
    { }
    std::optional<QString> RunFileDialog(QFileDialog &) override { return path_; }
    void ShowMessage(QWidget *, const QString &, const QString &, QMessageBox::Icon) override { }

private:
    QString path_;
};

// Reports once the view has painted a picture.
class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *view = static_cast<carteva::PictureView *>(watched);
        if (event->type() == QEvent::Paint && !view->GetPicture().IsEmpty()) {
            QMetaObject::invokeMethod(
                qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }
};

int RunWindow(int argc, char **argv, const QString &path, bool scroll)
{
    carteva::CartevaApplication app(argc, argv);
    AnsweringPlatform platform(path);
    carteva::Platform::Install(&platform);
    carteva::TfrmMain window;
    PaintWatch watch;
    carteva::PictureView &view = *window.ControlsForTest().Image1;
    view.installEventFilter(&watch);
    window.show();
    app.exec();
    std::fprintf(stderr, "  resident after the first screen of %s: %.0f MB\n",
                 qPrintable(path.section(QLatin1Char('/'), -1)),
                 carteva::bench::ResidentMegabytes());
    if (scroll) {
        view.removeEventFilter(&watch);
        auto *area = window.ControlsForTest().PictureArea;
        window.resize(1700, 1100);
        QScrollBar &across = *area->horizontalScrollBar();
        QScrollBar &down = *area->verticalScrollBar();
        for (int y = 0; y <= down.maximum() + down.pageStep() - 1; y += down.pageStep()) {
            down.setValue(y);
            for (int x = 0; x <= across.maximum() + across.pageStep() - 1; x += across.pageStep()) {
                across.setValue(x);
                area->viewport()->repaint();
            }
        }
        const double pixels = double(view.PictureSize().width()) * 3 * view.PictureSize().height()
            / 1048576.0;
        std::fprintf(stderr,
                     "  resident after scrolling the whole picture at one to one: %.0f MB, "
                     "%.2f x its %.0f MB of pixels (goal <= 1.1)\n",
                     carteva::bench::ResidentMegabytes(),
                     carteva::bench::ResidentMegabytes() / pixels, pixels);
    }
    return view.GetPicture().IsEmpty() ? 1 : 0;
}

// The program's own loader alone.
int RunLoad(const QString &path)
{
    return carteva::LoadPicture(path).IsEmpty() ? 1 : 0;
}

int RunDecode(const QString &path)
{
    QImageReader reader(path, "bmp");
    QImageReader::setAllocationLimit(0);
    const QImage image = reader.read();
    return image.width() == kWidth ? 0 : 1;
}

double TimeChild(const char *self, const char *mode, const std::string &path)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(self, self, mode, path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s run failed (status %d)\n", mode, status);
        std::exit(1);
    }
    return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && (std::string(argv[1]) == "--window" || std::string(argv[1]) == "--scroll")) {
        int one = 1;
        return RunWindow(one, argv, QString::fromLocal8Bit(argv[2]),
                         std::string(argv[1]) == "--scroll");
    }
    if (argc == 3 && std::string(argv[1]) == "--decode")
        return RunDecode(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::string(argv[1]) == "--load")
        return RunLoad(QString::fromLocal8Bit(argv[2]));

    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string path = "/tmp/carteva-startup-bench.bmp";
    const std::string sheet = "/tmp/carteva-a0-bench.bmp";
    if (!carteva::bench::WriteDetailedBitmap(QString::fromStdString(path), kWidth, kHeight)
        || !carteva::bench::WriteDetailedBitmap(QString::fromStdString(sheet),
                                                carteva::bench::A0Width,
                                                carteva::bench::A0Height))
        return 1;
    std::vector<double> window, decode, load, sheetWindow, sheetLoad;
    for (int i = 0; i < runs; ++i) {
        decode.push_back(TimeChild(argv[0], "--decode", path));
        load.push_back(TimeChild(argv[0], "--load", path));
        window.push_back(TimeChild(argv[0], "--window", path));
        sheetLoad.push_back(TimeChild(argv[0], "--load", sheet));
        sheetWindow.push_back(TimeChild(argv[0], "--window", sheet));
    }
    const double w = Median(window);
    const double d = Median(decode);
    const double l = Median(load);
    const double sw = Median(sheetWindow);
    std::printf("median of %d runs: LoadPicture alone %.3f s; the window adds %.3f s to it\n", runs,
                l, w - l);
    std::printf("median of %d runs: window shown %.3f s, bare decode %.3f s, ratio %.3f\n", runs, w,
                d, w / d);
    std::printf("median of %d runs: A0 sheet LoadPicture alone %.3f s, window shown %.3f s, "
                "%.3f x the 12000 x 9000 map's (goal <= 1.3)\n",
                runs, Median(sheetLoad), sw, sw / w);
    TimeChild(argv[0], "--scroll", sheet);
    return 0;
}
