#include "gpx/BackgroundPlotter.h"

#include <new>
#include <system_error>

namespace carteva {

namespace {

// Large enough that the lock is taken rarely, small enough that the thread starts early.
constexpr std::size_t BlockWaypoints = 4096;
constexpr std::size_t BlockText = 256 * 1024;

} // namespace

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

void BackgroundPlotter::Add(const WaypointText &waypoint) noexcept
{
    try {
        if (!current_) {
            const std::lock_guard lock(mutex_);
            if (failed_ || ended_)
                return;
            if (spare_.empty()) {
                current_ = std::make_unique<Block>();
                current_->lengths.reserve(2 * BlockWaypoints);
            } else {
                current_ = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        for (const std::optional<std::string_view> &text : {waypoint.Lat, waypoint.Lon}) {
            if (text && text->size() >= Missing)
                throw std::bad_alloc(); // no such text fits a block
            if (text)
                current_->text.append(*text);
            current_->lengths.push_back(text ? static_cast<std::uint32_t>(text->size()) : Missing);
        }
        if (current_->lengths.size() >= 2 * BlockWaypoints || current_->text.size() >= BlockText)
            Publish(false);
    } catch (const std::bad_alloc &) {
        const std::lock_guard lock(mutex_);
        failed_ = true;
    }
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
                block->lengths.clear();
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
            const std::lock_guard lock(mutex_);
            failed_ = true;
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
    std::string_view text = block.text;
    const auto next = [&](std::uint32_t length) -> std::optional<std::string_view> {
        if (length == Missing)
            return std::nullopt;
        const std::string_view value = text.substr(0, length);
        text.remove_prefix(length);
        return value;
    };
    for (std::size_t i = 0; i + 1 < block.lengths.size() && !plot_->Ended(); i += 2) {
        WaypointText waypoint;
        waypoint.Lat = next(block.lengths[i]);
        waypoint.Lon = next(block.lengths[i + 1]);
        plot_->Add(waypoint);
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
