// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"
#include "gpx/LoadProgress.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QAction;
class QProgressDialog;
class QTimer;
class QWidget;

namespace carteva {

class GpxOverlay;

// Loads a GPX file off the window's thread. The window stays responsive; after half a second a
// progress dialog shows the bytes read, and its Cancel stops the parse (nothing is painted, as
// with a malformed file). The worker hands back plain data, the file's GpxOverlay; on the GUI
// thread the overlay goes to `loaded`, which paints it, and a failure to the general error
// handler.
//
// Also owns the user's choice "Draw tracks and routes" (remembered with QSettings, off at
// first): with it on, loads keep track segments and routes and the window draws them.
class GpxOverlayLoader : public QObject
{
    Q_OBJECT
public:
    using Loaded = std::function<void(GpxOverlay)>;

    GpxOverlayLoader(QWidget &window, Loaded loaded);
    ~GpxOverlayLoader() override;

    // Starts loading. Ignored while a load runs.
    void Start(const QString &fileName);
    bool Busy() const;
    // Stops the load in progress: nothing is painted, nothing changes.
    void Cancel();

    // The checkable "Draw tracks and routes", for the picture's context menu.
    QAction *DrawTracksAndRoutes() const { return drawLines_; }
    bool DrawsTracksAndRoutes() const;

    // Reads through `ops` from the next load on (tests make reading slow or fail); not owned.
    void UseFileOps(FileOps &ops) { ops_ = &ops; }

private:
    struct Result
    {
        std::shared_ptr<GpxOverlay> overlay;
        std::exception_ptr failure;
        bool cancelled = false;
    };

    void ShowProgress();
    void UpdateProgress();
    void Done();

    QWidget &window_;
    Loaded loaded_;
    QAction *drawLines_;
    FileOps realOps_;
    FileOps *ops_ = &realOps_;
    std::shared_ptr<LoadProgress> shared_; // with the worker: bytes read, and Cancel
    QFutureWatcher<Result> watcher_;
    QTimer *progressTimer_;
    QProgressDialog *progress_ = nullptr;
    QString fileName_;
    std::uint64_t fileBytes_ = 0;
};

} // namespace carteva
