// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "gpx/ChildEventBlock.h"
#include "gpx/GpxDocument.h"
#include "gpx/GpxDocumentBuilder.h"
#include "gpx/WaypointNames.h"
#include "gpx/WaypointPlot.h"

#include <cfenv>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

namespace carteva {

// Builds the GpxDocument, and maps its waypoints, on a second thread while the file is still
// being parsed on this one. A waypoint's share of the parser's thread is then only recording
// its names and values in a block; the second thread builds the document from the blocks and
// hands each child to a WaypointPlot the way DrawWaypoints would, under this thread's
// floating-point settings. When no thread can be started, the blocks are built here as they fill.
//
// Names are the parser's dictionary pointers: Finish must come before the parser is freed.
class BackgroundBuilder
{
public:
    using Chars = ChildEventBlock::Chars;
    using NodeKind = ChildEventBlock::NodeKind;

    // `fileBytes` sizes the document's arrays; with `points`, the waypoints are mapped too.
    BackgroundBuilder(std::size_t fileBytes, std::optional<std::span<const TCalibPoint>> points);
    // Stops the thread and waits for it, when Finish was not called.
    ~BackgroundBuilder();
    BackgroundBuilder(const BackgroundBuilder &) = delete;
    BackgroundBuilder &operator=(const BackgroundBuilder &) = delete;

    // Recording, on the parser's thread, in document order: the root, then each child with its
    // namespace declarations and attributes. Inline, as these run for every waypoint. They throw
    // only std::bad_alloc, or whatever building threw when there is no second thread.
    void StartNode(NodeKind kind, Chars prefix, Chars localName)
    {
        if (kind != NodeKind::Root)
            FlushText();
        if (current_->nodeCount == BlockNodes || current_->valueBytes >= BlockValues)
            Publish(false);
        current_->AddNode(prefix, localName, kind);
    }
    void Attribute(Chars prefix, Chars localName, std::string_view value)
    {
        if (!current_->HasRoom(1, value.size()))
            current_->Grow(value.size());
        current_->AddAttribute(prefix, localName, value.data(), value.size());
    }
    // The common child, recorded at once: an element without namespace declarations whose
    // attribute values hold no references, in a block with room, after no text to keep.
    // False, with nothing recorded, when it needs the calls above. The attributes as libxml2
    // gives them: five pointers each (local name, prefix, URI, value, end of value).
    [[gnu::always_inline]] bool RecordPlainChild(Chars prefix, Chars localName,
                                                 const Chars *attributes, int count) noexcept
    {
        ChildEventBlock &block = *current_;
        if ((textOpen_ && !textBlank_) || block.nodeCount == BlockNodes
            || block.valueBytes >= BlockValues || !block.HasRoom(count, 0))
            return false;
        const std::size_t firstAttribute = block.attributeCount;
        const std::size_t firstValue = block.valueBytes;
        block.AddNode(prefix, localName, NodeKind::Element);
        for (int i = 0; i < count; ++i) {
            const Chars *attribute = attributes + 5 * i;
            const auto length = static_cast<std::size_t>(attribute[4] - attribute[3]);
            if (!block.HasRoom(0, length)
                || !block.AddAttributeWithoutReference(attribute[1], attribute[0], attribute[3],
                                                       length)) {
                --block.nodeCount;
                block.attributeCount = firstAttribute;
                block.valueBytes = firstValue;
                return false;
            }
        }
        textOpen_ = false;
        return true;
    }
    void NamespaceDeclaration(Chars prefix, std::string_view uri);
    void ProcessingInstruction(std::string_view target);
    // Text among the root's children: merged into one node, dropped when it is blank.
    void TopLevelCharacters(std::string_view text)
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
    // Large enough that the lock is taken rarely, small enough that the thread starts early
    // and the blocks stay in the cache; a few are queued before the parser waits.
    static constexpr std::size_t BlockNodes = 4096;
    static constexpr std::size_t BlockValues = 256 * 1024;
    static constexpr std::size_t MaxQueued = 8;

    static std::unique_ptr<ChildEventBlock> NewBlock();
    static bool IsBlank(std::string_view text)
    {
        for (const char c : text) {
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return false;
        }
        return true;
    }
    void FlushText()
    {
        const bool keep = textOpen_ && !textBlank_;
        textOpen_ = false;
        if (keep)
            StartNode(NodeKind::Text, nullptr, nullptr);
    }
    void Publish(bool last);
    void Run() noexcept;
    void Build(const ChildEventBlock &block);
    void Plot(std::size_t child);
    void Stop();

    // Each thread's members on cache lines of their own: a line that both write to would pass
    // from core to core with every waypoint.
    static constexpr std::size_t CacheLine = 64;

    // Touched by the thread only while it runs.
    GpxDocumentBuilder builder_;
    WaypointNames names_;
    std::unique_ptr<WaypointPlot> plot_;
    std::fenv_t environment_ {};

    // The parser's thread only.
    alignas(CacheLine) std::unique_ptr<ChildEventBlock> current_;
    bool textOpen_ = false;
    bool textBlank_ = true;
    bool failedFlag_ = false; // a copy of failed_, taken at each Publish

    alignas(CacheLine) std::mutex mutex_;
    std::condition_variable ready_; // a block came, or the end
    std::condition_variable roomy_; // a block went, or building failed
    std::deque<std::unique_ptr<ChildEventBlock>> full_; // guarded by mutex_, as are the four below
    std::vector<std::unique_ptr<ChildEventBlock>> spare_;
    bool closed_ = false;
    bool stopped_ = false; // give up: nobody wants the document any more
    std::exception_ptr failed_; // what building threw
    std::thread thread_;
};

} // namespace carteva
