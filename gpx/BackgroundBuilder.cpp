// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/BackgroundBuilder.h"

#include <new>

namespace carteva {

namespace {

// The name of a namespace declaration ("xmlns") or its prefix ("xmlns:<prefix>"); one address,
// as the parser's names have, for the builder's cache.
constexpr unsigned char Xmlns[] = "xmlns";

} // namespace

BackgroundBuilder::BackgroundBuilder(std::size_t fileBytes, const MappingSetup &kind,
                                     std::optional<std::span<const TCalibPoint>> points, bool lines,
                                     ThreadStarter &threads)
    : lines_(lines)
    , current_(NewBlock())
{
    // Upper estimates for waypoint files: a waypoint takes at least about 20 bytes, two
    // attributes and a dozen bytes of values.
    builder_.Document().Reserve(fileBytes / 20, fileBytes / 10, fileBytes / 4);
    builder_.Document().Waypoints().Reserve(fileBytes / 20, fileBytes / 4);
    // And for tracks: a point takes at least about 24 bytes, half of them its texts. Growing
    // instead would copy all kept so far at each doubling, holding the parser up meanwhile.
    if (lines)
        builder_.Document().Lines().Reserve(fileBytes / 24, fileBytes / 2);
    if (points) {
        plot_ = std::make_unique<WaypointPlot>(kind, *points);
        plot_->Reserve(fileBytes / 20);
        if (lines) {
            linePlot_ = std::make_unique<LinePlot>(kind, *points);
            linePlot_->Reserve(fileBytes / 24);
        }
    }
    // The arithmetic must round exactly as it would here (x87 precision and rounding, SSE).
    std::fegetenv(&environment_);
    try {
        thread_ = threads.Start(ThreadStarter::Role::Builder, [this] { Run(); });
    } catch (...) {
        // Built here, then.
    }
}

std::unique_ptr<ChildEventBlock> BackgroundBuilder::NewBlock() const
{
    auto block = std::make_unique<ChildEventBlock>();
    // Two attributes a node, and texts a quarter over the limit, which is checked once a node.
    block->Reserve(BlockNodes, 2 * BlockNodes, BlockValues * 5 / 4);
    if (lines_)
        block->lines.Reserve(BlockLinePoints, BlockValues * 5 / 4);
    return block;
}

BackgroundBuilder::~BackgroundBuilder()
{
    Stop();
}

void BackgroundBuilder::StartNode(NodeKind kind, Chars prefix, Chars localName)
{
    if (kind != NodeKind::Root)
        FlushText();
    PublishWhenFull();
    current_->AddNode(prefix, localName, kind);
}

void BackgroundBuilder::FlushText()
{
    const bool keep = textOpen_ && !textBlank_;
    textOpen_ = false;
    if (keep)
        StartNode(NodeKind::Text, nullptr, nullptr);
}

void BackgroundBuilder::NamespaceDeclaration(Chars prefix, std::string_view uri)
{
    if (prefix != nullptr)
        Attribute(Xmlns, prefix, uri);
    else
        Attribute(nullptr, Xmlns, uri);
}

void BackgroundBuilder::ProcessingInstruction(std::string_view target)
{
    StartNode(NodeKind::ProcessingInstruction, nullptr, nullptr);
    Attribute(nullptr, nullptr, target);
}

GpxDocument BackgroundBuilder::Finish()
{
    FlushText();
    Publish(true);
    if (thread_.joinable())
        thread_.join();
    // The thread has ended: nothing else touches these any more.
    if (failed_)
        std::rethrow_exception(failed_);
    GpxDocument document = std::move(builder_.Document());
    if (plot_)
        document.SetPlot(std::move(plot_));
    if (linePlot_)
        document.SetLinesPlot(std::move(linePlot_));
    return document;
}

void BackgroundBuilder::Publish(bool last)
{
    if (!thread_.joinable()) {
        Build(*current_);
        current_->Clear();
        return;
    }
    // The next block first, so that a failure leaves the current one in place.
    std::unique_ptr<ChildEventBlock> next = last ? nullptr : NewBlock();
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
    else if (current_)
        current_->Clear(); // building failed: what would it be for
}

void BackgroundBuilder::Run() noexcept
{
    std::fesetenv(&environment_);
    for (;;) {
        std::unique_ptr<ChildEventBlock> block;
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
            Build(*block);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failed_ = std::current_exception();
            roomy_.notify_one();
            return;
        }
    }
}

void BackgroundBuilder::Build(const ChildEventBlock &block)
{
    for (std::size_t node = 0; node < block.nodes.size(); ++node) {
        const ChildEventBlock::Node &event = block.nodes[node];
        const std::uint32_t first = event.FirstAttribute;
        const std::uint32_t end = block.AttributeEnd(node);
        switch (event.Kind) {
        case NodeKind::Root:
            if (!builder_.StartRoot(event.Prefix, event.LocalName))
                continue;
            break;
        case NodeKind::Element:
            builder_.StartChild(event.Prefix, event.LocalName);
            break;
        case NodeKind::Text:
            builder_.Text();
            break;
        case NodeKind::CData:
            builder_.CData();
            break;
        case NodeKind::Comment:
            builder_.Comment();
            break;
        case NodeKind::ProcessingInstruction:
            builder_.ProcessingInstruction(block.Value(block.attributes[first]));
            break;
        }
        if (event.Kind == NodeKind::Root || event.Kind == NodeKind::Element) {
            for (std::uint32_t a = first; a < end; ++a) {
                const ChildEventBlock::Attribute &attribute = block.attributes[a];
                builder_.Attribute(attribute.Prefix, attribute.LocalName, block.Value(attribute));
            }
        }
        if (event.Kind != NodeKind::Root)
            KeepWaypoint(builder_.Document().ChildCount() - 1);
    }
    BuildLines(block);
}

void BackgroundBuilder::BuildLines(const ChildEventBlock &block)
{
    builder_.Document().Lines().Append(block.lines);
    try {
        if (linePlot_)
            linePlot_->Add(block.lines);
    } catch (const std::bad_alloc &) {
        linePlot_.reset(); // the lines are mapped when they are drawn, then
    }
}

// As DrawWaypoints maps a document's children, so that its plot can be painted instead.
void BackgroundBuilder::KeepWaypoint(std::size_t child)
{
    GpxDocument &document = builder_.Document();
    const std::optional<WaypointText> waypoint = names_.Find(document, child);
    if (!waypoint)
        return;
    document.Waypoints().AddPoint(waypoint->Lat, waypoint->Lon);
    if (!plot_ || plot_->Ended())
        return;
    try {
        plot_->Add(*waypoint);
    } catch (const std::bad_alloc &) {
        plot_.reset(); // DrawWaypoints maps the document itself, then
    }
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
