// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up with a huge bitmap: from process start to the picture painted in the window, against a
// process that only decodes the same file with QImageReader, and one that only loads it with the
// program's own LoadPicture. Each is timed over several child processes, from fork to exit.
//
//   build/bench/StartupBench [runs]      (QT_QPA_PLATFORM=offscreen unless a display is set)

#include "picture/PictureLoader.h"
#include "ui/CartevaApplication.h"
#include "ui/PictureView.h"
#include "ui/Platform.h"
#include "ui/TfrmMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPaintEvent>

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

int RunWindow(int argc, char **argv, const QString &path)
{
    carteva::CartevaApplication app(argc, argv);
    AnsweringPlatform platform(path);
    carteva::Platform::Install(&platform);
    carteva::TfrmMain window;
    PaintWatch watch;
    window.ControlsForTest().Image1->installEventFilter(&watch);
    window.show();
    app.exec();
    return window.ControlsForTest().Image1->GetPicture().Width() == kWidth ? 0 : 1;
}

// The program's own decoder alone, which reads plain 24-bit bitmaps faster than QImageReader.
int RunLoad(const QString &path)
{
    return carteva::LoadPicture(path).Width() == kWidth ? 0 : 1;
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
    if (argc == 3 && std::string(argv[1]) == "--window") {
        int one = 1;
        return RunWindow(one, argv, QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && std::string(argv[1]) == "--decode")
        return RunDecode(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && std::string(argv[1]) == "--load")
        return RunLoad(QString::fromLocal8Bit(argv[2]));

    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string path = "/tmp/carteva-startup-bench.bmp";
    if (!QFile::exists(QString::fromStdString(path))) {
        std::printf("writing %d x %d 24-bit bitmap to %s\n", kWidth, kHeight, path.c_str());
        QImage image(kWidth, kHeight, QImage::Format_RGB888);
        for (int y = 0; y < kHeight; ++y) {
            uchar *line = image.scanLine(y);
            for (int x = 0; x < kWidth * 3; ++x)
                line[x] = static_cast<uchar>((x * 7 + y * 13) & 0xFF);
        }
        QImageWriter writer(QString::fromStdString(path), "bmp");
        if (!writer.write(image))
            return 1;
    }
    std::vector<double> window, decode, load;
    for (int i = 0; i < runs; ++i) {
        decode.push_back(TimeChild(argv[0], "--decode", path));
        load.push_back(TimeChild(argv[0], "--load", path));
        window.push_back(TimeChild(argv[0], "--window", path));
    }
    const double w = Median(window);
    const double d = Median(decode);
    const double l = Median(load);
    std::printf("median of %d runs: LoadPicture alone %.3f s; the window adds %.3f s to it\n", runs,
                l, w - l);
    std::printf(
        "median of %d runs: window shown %.3f s, bare decode %.3f s, ratio %.3f (goal <= 1.15)\n",
        runs, w, d, w / d);
    return 0;
}
