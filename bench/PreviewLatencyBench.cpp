// SPDX-License-Identifier: GPL-2.0-or-later
// The bitmap dialog while the preview of a 12000 x 9000 bitmap, then of a 20000 x 28000 A0 sheet
// (1.68 GB), is made: how late a key press reaches the dialog. A thread of its own posts a key press every 10 ms, stamped with the time it was
// posted; the dialog's name box notes how long each waited. Each run selects the bitmap afresh,
// which also lets go of the previous run's picture.
//
//   build/bench/PreviewLatencyBench [runs]   (QT_QPA_PLATFORM=offscreen unless a display is set)

#include "tests/picture/SparseBitmap.h"
#include "ui/OpenPictureDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QInputDevice>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class StampedKeyPress : public QKeyEvent
{
public:
    StampedKeyPress()
        : QKeyEvent(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier)
    { }
    const Clock::time_point posted = Clock::now();
};

// The longest wait of the key presses that arrived since the last Take(), and how many came.
class LatencyWatch : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (const auto *key = dynamic_cast<const StampedKeyPress *>(event)) {
            worst_ = std::max(worst_, Clock::now() - key->posted);
            ++count_;
        }
        return false;
    }
    std::pair<double, int> Take()
    {
        const double worst = std::chrono::duration<double, std::milli>(worst_).count();
        worst_ = {};
        return {worst, std::exchange(count_, 0)};
    }

private:
    Clock::duration worst_ {};
    int count_ = 0;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    struct Case
    {
        int width;
        int height;
        QString path;
    };
    std::vector<Case> cases {{12000, 9000, dir.filePath(QStringLiteral("huge.bmp"))},
                             {20000, 28000, dir.filePath(QStringLiteral("a0 sheet.bmp"))}};
    for (const Case &bitmap : cases) {
        if (!carteva::test::WriteSparseBitmap(bitmap.path, bitmap.width, bitmap.height))
            return 1;
    }

    carteva::OpenPictureDialog dialog;
    dialog.setDirectory(dir.path());
    dialog.show();
    auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    LatencyWatch watch;
    name->installEventFilter(&watch);

    // Made here, not by the first key press on the posting thread.
    QInputDevice::primaryKeyboard();
    std::atomic<bool> posting {true};
    std::thread poster([&] {
        while (posting) {
            QCoreApplication::postEvent(name, new StampedKeyPress);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });

    for (const Case &bitmap : cases) {
        std::vector<double> worst, decoded;
        const QString shown = QStringLiteral(" (%1x%2)").arg(bitmap.width).arg(bitmap.height);
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (dialog.findChild<QLabel *>(QStringLiteral("PictureLabel"))->text() == shown)
                    loop.quit();
            });
            poll.start(1);
            QMetaObject::invokeMethod(
                &dialog, [&] { emit dialog.currentChanged(bitmap.path); }, Qt::QueuedConnection);
            loop.exec();
            decoded.push_back(double(timer.elapsed()));
            const auto [latency, presses] = watch.Take();
            worst.push_back(latency);
            std::printf("%d x %d, run %d: preview shown after %.0f ms, %d key presses, the "
                        "slowest waited %.2f ms\n",
                        bitmap.width, bitmap.height, i + 1, decoded.back(), presses, latency);
            // Away and back: the next run makes the preview afresh.
            emit dialog.currentChanged(QString());
        }
        std::printf("%d x %d, median of %d runs: worst key latency %.2f ms while the preview was "
                    "made in %.0f ms (goal <= 50 ms)\n",
                    bitmap.width, bitmap.height, runs, Median(worst), Median(decoded));
    }
    posting = false;
    poster.join();
    return 0;
}
