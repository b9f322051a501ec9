// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "gpx/WaypointPlot.h"

#include <array>
#include <cfenv>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace carteva {

// Maps waypoints on a second thread while the file is still being parsed on this one. The
// parser hands over each waypoint's coordinate texts (copied, in blocks of thousands); the
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

    // The next waypoint; its coordinates are missing until given. None of these throws: when
    // memory or the thread fail, there is just no plot at the end.
    // Inline, as these run for each waypoint on the parser's thread.
    void StartWaypoint() noexcept
    {
        if (current_ && current_->waypoints.size() < BlockWaypoints
            && current_->text.size() < BlockText)
            current_->waypoints.emplace_back(); // reserved: cannot throw
        else
            StartBlock();
    }
    void Latitude(std::string_view text) noexcept { Coordinate(0, text); }
    void Longitude(std::string_view text) noexcept { Coordinate(1, text); }
    // The plot of everything added, once the thread has mapped it; nothing when it could not be
    // made (the caller then maps the waypoints itself).
    std::shared_ptr<const WaypointPlot> Finish();

private:
    // Large enough that the lock is taken rarely, small enough that the thread starts early.
    static constexpr std::size_t BlockWaypoints = 4096;
    static constexpr std::size_t BlockText = 256 * 1024;

    struct Text
    {
        std::uint32_t Begin = 0;
        std::uint32_t Length = Missing;
    };
    static constexpr std::uint32_t Missing = UINT32_MAX;
    struct Block
    {
        std::string text; // the coordinates back to back, as they came
        std::vector<std::array<Text, 2>> waypoints; // latitude and longitude
    };

    // Starts a new block with the next waypoint, handing over the full one.
    void StartBlock() noexcept;
    void Coordinate(std::size_t which, std::string_view text) noexcept
    {
        if (!current_ || current_->waypoints.empty())
            return; // the plot has ended or failed
        try {
            std::string &blockText = current_->text;
            if (blockText.size() + text.size() >= Missing)
                throw std::bad_alloc(); // no such text fits a block
            current_->waypoints.back()[which] = {static_cast<std::uint32_t>(blockText.size()),
                                                 static_cast<std::uint32_t>(text.size())};
            blockText.append(text);
        } catch (const std::bad_alloc &) {
            Fail();
        }
    }
    void Publish(bool last);
    void Fail() noexcept;
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
