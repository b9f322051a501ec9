// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxLines.h"
#include "gpx/GpxOverlay.h"
#include "gpx/PositionList.h"
#include "gpx/ThreadStarter.h"

#include <cfenv>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace carteva {

// Turns the waypoints and line points of a load into positions on a second thread while the file
// is still being parsed on this one. The parser's thread only records their texts in blocks; the
// second thread converts the blocks, under this thread's floating-point settings, and lets their
// texts go. When no thread can be started, each block is converted here as it fills.
class BackgroundBuilder
{
public:
    // `fileBytes` sizes the arrays; `lines`: line points are recorded too.
    BackgroundBuilder(std::size_t fileBytes, bool lines, ThreadStarter &threads);
    // Stops the thread and waits for it, when Finish was not called.
    ~BackgroundBuilder();
    BackgroundBuilder(const BackgroundBuilder &) = delete;
    BackgroundBuilder &operator=(const BackgroundBuilder &) = delete;

    // Recording, on the parser's thread, in document order. They throw std::bad_alloc, Error when
    // the texts grow too large, or whatever keeping threw when there is no second thread.
    void Waypoint(const WaypointText &point)
    {
        PublishWhenFull();
        current_->waypoints.AddPoint(point.Lat, point.Lon);
    }
    // A track segment or route begins; its points follow. Always inline, as GpxLines::AddPoint
    // is: GCC 12 otherwise calls both out of line from the parser's callbacks, which then take
    // 0.4 % more instructions on the million-point track (callgrind, GpxOverlayBench --track).
    void LineStart() { current_->lines.StartLine(); }
    [[gnu::always_inline]] void LinePoint(std::optional<std::string_view> lat,
                                          std::optional<std::string_view> lon)
    {
        PublishWhenFull();
        current_->lines.AddPoint(lat, lon);
    }
    // False once keeping has failed: the parse may as well stop, Finish tells why.
    bool Building() const { return !failedFlag_; }

    // The positions of what was recorded; `tracksOrRoutes`: the file had a "trk" or "rte"
    // directly under its root. Rethrows what keeping threw.
    GpxOverlay Finish(bool tracksOrRoutes);

private:
    // The points recorded since the last hand-over.
    struct Block
    {
        GpxLines waypoints; // one point each
        GpxLines lines;
    };

    // Large enough that the lock is taken rarely, small enough that the thread starts early;
    // a few are queued before the parser waits.
    static constexpr std::size_t BlockPoints = 4096;
    static constexpr std::size_t BlockValues = 256 * 1024;
    static constexpr std::size_t MaxQueued = 8;

    std::unique_ptr<Block> NewBlock() const;
    void PublishWhenFull()
    {
        if (current_->waypoints.PointCount() >= BlockPoints
            || current_->lines.PointCount() >= BlockPoints
            || current_->waypoints.ValueBytes() >= BlockValues
            || current_->lines.ValueBytes() >= BlockValues)
            Publish(false);
    }
    void Publish(bool last);
    void Run() noexcept;
    void Keep(const Block &block);
    void Stop() noexcept;

    const std::size_t fileBytes_; // sizes the positions' arrays, set aside by the first Keep

    // Touched by the thread only while it runs.
    PositionList waypoints_;
    PositionList lines_;
    bool reserved_ = false;
    std::fenv_t environment_ {};

    // The parser's thread only.
    bool recordsLines_;
    std::unique_ptr<Block> current_;
    bool failedFlag_ = false; // a copy of failed_, taken at each Publish

    std::mutex mutex_;
    std::condition_variable ready_; // a block came, or the end
    std::condition_variable roomy_; // a block went, or keeping failed
    std::deque<std::unique_ptr<Block>> full_; // guarded by mutex_, as are the three below
    bool closed_ = false;
    bool stopped_ = false; // give up: nobody wants the points any more
    std::exception_ptr failed_; // what keeping threw
    std::thread thread_;
};

} // namespace carteva
