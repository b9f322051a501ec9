// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/BackgroundBuilder.h"

#include <new>

namespace carteva {

BackgroundBuilder::BackgroundBuilder(std::size_t fileBytes, bool lines, ThreadStarter &threads)
    : fileBytes_(fileBytes)
    , recordsLines_(lines)
    , current_(NewBlock())
{
    // The arithmetic must round exactly as it would here (x87 precision and rounding, SSE).
    std::fegetenv(&environment_);
    try {
        thread_ = threads.Start(ThreadStarter::Role::Builder, [this] { Run(); });
    } catch (...) {
        // Kept here, then.
    }
}

std::unique_ptr<BackgroundBuilder::Block> BackgroundBuilder::NewBlock() const
{
    auto block = std::make_unique<Block>();
    // Texts a quarter over the limit, which is checked once a point.
    block->waypoints.Reserve(BlockPoints, BlockValues * 5 / 4);
    if (recordsLines_)
        block->lines.Reserve(BlockPoints, BlockValues * 5 / 4);
    return block;
}

BackgroundBuilder::~BackgroundBuilder()
{
    Stop();
}

GpxOverlay BackgroundBuilder::Finish(bool tracksOrRoutes)
{
    Publish(true);
    if (thread_.joinable())
        thread_.join();
    // The thread has ended: nothing else touches these any more.
    if (failed_)
        std::rethrow_exception(failed_);
    return GpxOverlay(std::move(waypoints_), std::move(lines_), tracksOrRoutes);
}

void BackgroundBuilder::Publish(bool last)
{
    if (!thread_.joinable()) {
        Keep(*current_);
        current_->waypoints.clear();
        current_->lines.clear();
        return;
    }
    // The next block first, so that a failure leaves the current one in place.
    std::unique_ptr<Block> next = last ? nullptr : NewBlock();
    if (next && current_->lines.LineStartPending())
        next->lines.StartLine();
    {
        std::unique_lock lock(mutex_);
        roomy_.wait(lock, [this] { return full_.size() < MaxQueued || failed_; });
        failedFlag_ = failed_ != nullptr;
        if (!failedFlag_)
            full_.push_back(std::move(current_));
        closed_ = last;
    }
    ready_.notify_one();
    if (next)
        current_ = std::move(next);
    else
        current_.reset(); // the end, or keeping failed: what would it be for
}

void BackgroundBuilder::Run() noexcept
{
    std::fesetenv(&environment_);
    for (;;) {
        std::unique_ptr<Block> block;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return !full_.empty() || closed_ || stopped_; });
            if (stopped_ || full_.empty())
                return;
            block = std::move(full_.front());
            full_.pop_front();
        }
        roomy_.notify_one();
        try {
            Keep(*block);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failed_ = std::current_exception();
            roomy_.notify_one();
            return;
        }
    }
}

void BackgroundBuilder::Keep(const Block &block)
{
    if (!reserved_) {
        reserved_ = true;
        // Upper estimates, set aside where the positions are made: a waypoint with coordinates
        // takes at least about 20 bytes of the file, a track point about 24. Growing instead
        // would copy all kept so far at each doubling.
        waypoints_.Reserve(fileBytes_ / 20);
        if (recordsLines_)
            lines_.Reserve(fileBytes_ / 24);
    }
    waypoints_.Add(block.waypoints);
    lines_.Add(block.lines);
}

void BackgroundBuilder::Stop() noexcept
{
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    ready_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

} // namespace carteva
