// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"
#include "gpx/GpxOverlay.h"
#include "gpx/LoadProgress.h"
#include "gpx/NodeObserver.h"
#include "gpx/ThreadStarter.h"

#include <filesystem>
#include <string>
#include <vector>

namespace carteva {

// Reads a GPX file (any well-formed XML) with libxml2's SAX2 interface into what the overlay
// keeps of it: the positions of its waypoints and, when asked for, of its lines' points.
//
// The whole file is parsed before Load returns, on the calling thread; meanwhile one thread
// reads the file ahead and another converts the points (BackgroundBuilder). When a thread
// cannot be started, its work is done on the calling thread. No validation; the encoding comes from
// the byte-order mark or the XML declaration. Nothing outside the file is ever opened or fetched:
// the file is read through our own callbacks and, while parsing, libxml2's external entity loader
// refuses every request. Internal entities are expanded in attribute values; an entity reference
// in element content adds nothing to the root's children (in a DOM it would be an entity
// reference node whose content lies one level deeper), so an entity can neither smuggle
// waypoints in nor swell what is kept.
//
// Failures throw Error with a message of three lines, "<reason>\r\nLine: <n>\r\n<excerpt>":
// - a file that is not well-formed XML (an empty file included): libxml2's description, the
//   line, and the first 40 UTF-16 units of that line, taking the first error of level error or
//   fatal (namespace errors such as an undeclared prefix count);
// - memory running out anywhere in the load: "Out of memory" and the line reached;
// - an element with more than 16,382 attributes, refused while the parser reads it (libxml2
//   would then take time quadratic in their number): "An element has too many attributes";
// - a file that cannot be opened or read, or is not a regular file (a folder, a FIFO, a
//   device): "Cannot open file "<path>". <system message>" or "Cannot read file …", line 0
//   and an empty excerpt.
// One Load at a time per process: libxml2's entity loader is process-wide.
class GpxLoader
{
public:
    static constexpr std::size_t ExcerptUnits = 40;

    // The real file calls and threads.
    GpxLoader();
    // Reads through `ops` and starts its threads with `threads`; both outlive the loader.
    GpxLoader(FileOps &ops, ThreadStarter &threads);

    GpxOverlay Load(const std::filesystem::path &path);

    // With `on`, the loads that follow also keep the track segments and routes directly under
    // the root (trk/trkseg/trkpt and rte/rtept, named exactly so, as waypoints are). Off at
    // first: the parse then
    // looks at nothing below the root's children.
    void CollectLines(bool on) { collectLines_ = on; }

    // Tells `progress` (which outlives the loads) the bytes read, and stops a load with EAbort
    // once it asks to; nullptr: neither.
    void Watch(LoadProgress *progress) { progress_ = progress; }
    // Tells `observer` (which outlives the loads) the top of each file loaded; nullptr: nobody.
    void Observe(NodeObserver *observer) { observer_ = observer; }

    // What the parser asked the external entity loader for during the last Load; every request
    // was refused.
    const std::vector<std::string> &RefusedResources() const { return refused_; }

private:
    FileOps realOps_;
    ThreadStarter realThreads_;
    FileOps &ops_;
    ThreadStarter &threads_;
    LoadProgress *progress_ = nullptr;
    NodeObserver *observer_ = nullptr;
    bool collectLines_ = false;
    std::vector<std::string> refused_;
};

} // namespace carteva
