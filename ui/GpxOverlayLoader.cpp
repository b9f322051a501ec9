// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/GpxOverlayLoader.h"

#include "calibration/Errors.h"
#include "gpx/GpxLoader.h"
#include "gpx/GpxOverlay.h"
#include "picture/PathCrossing.h"
#include "ui/ErrorHandler.h"
#include "ui/UserSettings.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cfenv>
#include <climits>
#include <filesystem>

namespace carteva {

namespace {

constexpr int ProgressDelayMs = 500;
constexpr int ProgressIntervalMs = 100;
const char *const DrawLinesKey = "gpx/drawTracksAndRoutes";

QString Megabytes(std::uint64_t bytes)
{
    return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1);
}

} // namespace

GpxOverlayLoader::GpxOverlayLoader(QWidget &window, Loaded loaded)
    : QObject(&window)
    , window_(window)
    , loaded_(std::move(loaded))
    , drawLines_(new QAction(QStringLiteral("Draw tracks and routes"), this))
    , progressTimer_(new QTimer(this))
{
    setObjectName(QStringLiteral("GpxOverlayLoader"));
    drawLines_->setObjectName(QStringLiteral("DrawTracksAndRoutes"));
    drawLines_->setCheckable(true);
    drawLines_->setChecked(UserSettings().value(DrawLinesKey, false).toBool());
    connect(drawLines_, &QAction::toggled, this,
            [](bool on) { UserSettings().setValue(DrawLinesKey, on); });
    connect(&watcher_, &QFutureWatcher<Result>::finished, this, [this] { Done(); });
    connect(progressTimer_, &QTimer::timeout, this, [this] { UpdateProgress(); });
}

GpxOverlayLoader::~GpxOverlayLoader()
{
    // The worker reads the file, nothing of this object's but the
    // shared progress: it only has to stop.
    if (shared_)
        shared_->CancelRequested = true;
    watcher_.waitForFinished();
}

bool GpxOverlayLoader::DrawsTracksAndRoutes() const
{
    return drawLines_->isChecked();
}

bool GpxOverlayLoader::Busy() const
{
    return shared_ != nullptr;
}

void GpxOverlayLoader::Start(const QString &fileName)
{
    if (Busy())
        return;
    fileName_ = fileName;
    fileBytes_ = static_cast<std::uint64_t>(std::max<qint64>(0, QFileInfo(fileName).size()));
    shared_ = std::make_shared<LoadProgress>();
    // The worker converts numbers with the rounding and precision set for this thread.
    std::fenv_t environment;
    std::fegetenv(&environment);
    FileOps *ops = ops_;
    const bool lines = DrawsTracksAndRoutes();
    const std::filesystem::path path = StdPath(fileName);
    watcher_.setFuture(QtConcurrent::run(
        [shared = shared_, ops, path, lines,
         environment]() -> Result {
            std::fesetenv(&environment);
            Result result;
            try {
                ThreadStarter threads;
                GpxLoader loader(*ops, threads);
                loader.Watch(shared.get());
                loader.CollectLines(lines);
                result.overlay
                    = std::make_shared<GpxOverlay>(loader.Load(path));
            } catch (const EAbort &) {
                result.cancelled = true;
            } catch (...) {
                result.failure = std::current_exception();
            }
            return result;
        }));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    progressTimer_->start(ProgressDelayMs);
}

void GpxOverlayLoader::Cancel()
{
    if (shared_)
        shared_->CancelRequested = true;
}

void GpxOverlayLoader::ShowProgress()
{
    progress_ = new QProgressDialog(&window_);
    progress_->setObjectName(QStringLiteral("GpxProgress"));
    progress_->setWindowTitle(QStringLiteral("Loading GPX"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    // In kilobytes: the bar's range is an int.
    progress_->setRange(0, static_cast<int>(std::min<std::uint64_t>(fileBytes_ / 1024, INT_MAX)));
    connect(progress_, &QProgressDialog::canceled, this, [this] { Cancel(); });
    progress_->show();
}

void GpxOverlayLoader::UpdateProgress()
{
    if (!shared_)
        return;
    if (progress_ == nullptr) {
        ShowProgress();
        progressTimer_->start(ProgressIntervalMs);
    }
    const std::uint64_t read = shared_->BytesRead.load(std::memory_order_relaxed);
    progress_->setLabelText(QStringLiteral("Reading %1: %2 of %3 MB")
                                .arg(QFileInfo(fileName_).fileName(), Megabytes(read),
                                     Megabytes(fileBytes_)));
    progress_->setValue(static_cast<int>(std::min<std::uint64_t>(read / 1024, INT_MAX)));
}

void GpxOverlayLoader::Done()
{
    progressTimer_->stop();
    if (progress_ != nullptr) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    QApplication::restoreOverrideCursor();
    shared_.reset();
    Result result = watcher_.result();
    Guarded([&] {
        if (result.failure)
            std::rethrow_exception(result.failure);
        if (result.cancelled || !result.overlay)
            return;
        // The window keeps the overlay: it is this load's alone.
        loaded_(std::move(*result.overlay));
    });
}

} // namespace carteva
