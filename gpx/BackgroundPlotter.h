#pragma once

#include "calibration/CalibPoint.h"
#include "gpx/WaypointPlot.h"

#include <cfenv>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace carteva {

// Maps waypoints on a second thread while the file is still being parsed on this one. The
// parser hands over each waypoint's coordinate texts (copied, in blocks of a few thousand); the
// thread converts and maps them into a WaypointPlot, under this thread's floating-point
// settings. Nothing but plain data crosses between the threads, and the plot is only read after
// the thread has ended.
class BackgroundPlotter
{
public:
    explicit BackgroundPlotter(std::span<const TCalibPoint> points);
    // Stops the thread and waits for it, when Finish was not called.
    ~BackgroundPlotter();
    BackgroundPlotter(const BackgroundPlotter &) = delete;
    BackgroundPlotter &operator=(const BackgroundPlotter &) = delete;

    // Never throws: when memory or the thread fail, there is just no plot at the end.
    void Add(const WaypointText &waypoint) noexcept;
    // The plot of everything added, once the thread has mapped it; nothing when it could not be
    // made (the caller then maps the waypoints itself).
    std::shared_ptr<const WaypointPlot> Finish();

private:
    struct Block
    {
        std::string text; // each waypoint's lat, then lon, back to back
        std::vector<std::uint32_t> lengths; // two per waypoint; Missing for an absent attribute
    };
    static constexpr std::uint32_t Missing = UINT32_MAX;

    void Publish(bool last);
    void Run() noexcept;
    void MapBlock(const Block &block);
    void Stop();

    std::shared_ptr<WaypointPlot> plot_;
    std::fenv_t environment_ {};
    std::unique_ptr<Block> current_;

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::unique_ptr<Block>> full_; // guarded by mutex_, as are the three below
    std::vector<std::unique_ptr<Block>> spare_;
    bool closed_ = false;
    bool failed_ = false; // the plot is incomplete: no use
    bool ended_ = false; // the plot ended at an error: later waypoints need no mapping
    std::thread thread_;
};

} // namespace carteva
