// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/BackgroundPlotter.h"

#include <new>
#include <system_error>

namespace carteva {

BackgroundPlotter::BackgroundPlotter(std::span<const TCalibPoint> points)
    : plot_(std::make_shared<WaypointPlot>(points))
{
    // The arithmetic must round exactly as it would here (x87 precision and rounding, SSE).
    std::fegetenv(&environment_);
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        failed_ = true;
    }
}

BackgroundPlotter::~BackgroundPlotter()
{
    Stop();
}

void BackgroundPlotter::StartBlock() noexcept
{
    try {
        if (current_
            && (current_->waypoints.size() >= BlockWaypoints || current_->text.size() >= BlockText))
            Publish(false);
        if (!current_) {
            const std::lock_guard lock(mutex_);
            if (failed_ || ended_)
                return;
            if (spare_.empty()) {
                current_ = std::make_unique<Block>();
                current_->waypoints.reserve(BlockWaypoints);
            } else {
                current_ = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        current_->waypoints.emplace_back();
    } catch (const std::bad_alloc &) {
        Fail();
    }
}

void BackgroundPlotter::Fail() noexcept
{
    const std::lock_guard lock(mutex_);
    failed_ = true;
    ready_.notify_one();
}

std::shared_ptr<const WaypointPlot> BackgroundPlotter::Finish()
{
    Publish(true);
    if (thread_.joinable())
        thread_.join();
    // The thread has ended: nothing else touches these any more.
    return failed_ ? nullptr : plot_;
}

void BackgroundPlotter::Publish(bool last)
{
    const std::lock_guard lock(mutex_);
    if (current_)
        full_.push_back(std::move(current_));
    closed_ = last;
    ready_.notify_one();
}

void BackgroundPlotter::Run() noexcept
{
    std::fesetenv(&environment_);
    std::unique_ptr<Block> block;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (block) {
                block->text.clear();
                block->waypoints.clear();
                spare_.push_back(std::move(block));
            }
            ready_.wait(lock, [this] { return !full_.empty() || closed_ || failed_; });
            if (failed_ || full_.empty())
                return;
            block = std::move(full_.front());
            full_.pop_front();
        }
        try {
            MapBlock(*block);
        } catch (const std::bad_alloc &) {
            Fail();
            return;
        }
        if (plot_->Ended()) {
            const std::lock_guard lock(mutex_);
            ended_ = true;
            return;
        }
    }
}

void BackgroundPlotter::MapBlock(const Block &block)
{
    const std::string_view text = block.text;
    const auto view = [&](Text t) -> std::optional<std::string_view> {
        if (t.Length == Missing)
            return std::nullopt;
        return text.substr(t.Begin, t.Length);
    };
    for (const std::array<Text, 2> &coordinates : block.waypoints) {
        plot_->Add({view(coordinates[0]), view(coordinates[1])});
        if (plot_->Ended())
            return;
    }
}

void BackgroundPlotter::Stop()
{
    {
        const std::lock_guard lock(mutex_);
        failed_ = true;
        closed_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

} // namespace carteva
