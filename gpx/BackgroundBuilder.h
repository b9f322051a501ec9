// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "gpx/ChildEventBlock.h"
#include "gpx/GpxDocument.h"
#include "gpx/GpxDocumentBuilder.h"
#include "gpx/LinePlot.h"
#include "gpx/ThreadStarter.h"
#include "gpx/WaypointNames.h"
#include "gpx/WaypointPlot.h"

#include <cfenv>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <thread>

namespace carteva {

// Builds the GpxDocument, and maps its waypoints, on a second thread while the file is still
// being parsed on this one. The parser's thread only records names and values in blocks; the
// second thread builds the document from the blocks and hands each child to a WaypointPlot the
// way DrawWaypoints would, under this thread's floating-point settings. When no thread can be
// started, each block is built here as it fills.
//
// Names are the parser's dictionary pointers: Finish must come before the parser is freed.
class BackgroundBuilder
{
public:
    using Chars = ChildEventBlock::Chars;
    using NodeKind = ChildEventBlock::NodeKind;

    // `fileBytes` sizes the document's arrays; with `points`, the waypoints are mapped too, and
    // the lines when `lines` says they are recorded.
    BackgroundBuilder(std::size_t fileBytes, const MappingSetup &kind,
                      std::optional<std::span<const TCalibPoint>> points, bool lines,
                      ThreadStarter &threads);
    // Stops the thread and waits for it, when Finish was not called.
    ~BackgroundBuilder();
    BackgroundBuilder(const BackgroundBuilder &) = delete;
    BackgroundBuilder &operator=(const BackgroundBuilder &) = delete;

    // Recording, on the parser's thread, in document order: the root, then each child with its
    // namespace declarations and attributes. They throw std::bad_alloc, Error when the document
    // grows too large, or whatever building threw when there is no second thread.
    void StartNode(NodeKind kind, Chars prefix, Chars localName);
    void Attribute(Chars prefix, Chars localName, std::string_view value)
    {
        current_->AddAttribute(prefix, localName, value);
    }
    void NamespaceDeclaration(Chars prefix, std::string_view uri);
    // A track segment or route begins; its points follow, each with the texts of its "lat"
    // and "lon" attributes (nothing where one is missing).
    void LineStart() { current_->lines.StartLine(); }
    void LinePoint(std::optional<std::string_view> lat, std::optional<std::string_view> lon)
    {
        PublishWhenFull();
        current_->lines.AddPoint(lat, lon);
    }
    void ProcessingInstruction(std::string_view target);
    // Text among the root's children: merged into one node, dropped when it is blank. Cannot
    // throw.
    void TopLevelCharacters(std::string_view text) noexcept
    {
        if (!textOpen_) {
            textOpen_ = true;
            textBlank_ = true;
        }
        if (textBlank_)
            textBlank_ = IsBlank(text);
    }
    // False once building has failed: the parse may as well stop, Finish tells why.
    bool Building() const { return !failedFlag_; }

    // The document of everything recorded, with its plot when the points were given and the
    // plot could be made. Rethrows what building threw.
    GpxDocument Finish();

private:
    // Large enough that the lock is taken rarely, small enough that the thread starts early;
    // a few are queued before the parser waits.
    static constexpr std::size_t BlockNodes = 4096;
    static constexpr std::size_t BlockValues = 256 * 1024;
    static constexpr std::size_t MaxQueued = 8;

    static constexpr std::size_t BlockLinePoints = 4096;

    std::unique_ptr<ChildEventBlock> NewBlock() const;
    void PublishWhenFull()
    {
        if (current_->nodes.size() >= BlockNodes || current_->lines.PointCount() >= BlockLinePoints
            || current_->values.size() >= BlockValues
            || current_->lines.ValueBytes() >= BlockValues)
            Publish(false);
    }
    // Not find_first_not_of, which searches the set for every character: the text between
    // the root's children is a few blanks at each.
    static bool IsBlank(std::string_view text) noexcept
    {
        for (const char c : text) {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return false;
        }
        return true;
    }
    void FlushText();
    void Publish(bool last);
    void Run() noexcept;
    void Build(const ChildEventBlock &block);
    // Keeps the child's coordinate texts in the document's Waypoints, and plots them, when it
    // is a waypoint: as DrawWaypoints maps a document's children.
    void KeepWaypoint(std::size_t child);
    void BuildLines(const ChildEventBlock &block);
    void Stop() noexcept;

    // Touched by the thread only while it runs.
    GpxDocumentBuilder builder_;
    WaypointNames names_;
    std::unique_ptr<WaypointPlot> plot_;
    std::unique_ptr<LinePlot> linePlot_;
    std::fenv_t environment_ {};

    // The parser's thread only.
    bool lines_; // recorded
    std::unique_ptr<ChildEventBlock> current_;
    bool textOpen_ = false;
    bool textBlank_ = true;
    bool failedFlag_ = false; // a copy of failed_, taken at each Publish

    std::mutex mutex_;
    std::condition_variable ready_; // a block came, or the end
    std::condition_variable roomy_; // a block went, or building failed
    std::deque<std::unique_ptr<ChildEventBlock>> full_; // guarded by mutex_, as are the three below
    bool closed_ = false;
    bool stopped_ = false; // give up: nobody wants the document any more
    std::exception_ptr failed_; // what building threw
    std::thread thread_;
};

} // namespace carteva
