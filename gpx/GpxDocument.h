// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxLines.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace carteva {

class LinePlot;
class WaypointPlot;

enum class GpxNodeKind : std::uint8_t { Element, Text, CData, Comment, ProcessingInstruction };

// What a GPX file leaves behind after parsing: the root element and its direct child nodes in
// document order, each with its kind, its node name (an element's qualified name, "#text",
// "#cdata-section", "#comment", a processing instruction's target) and, for elements, the
// attributes with their normalised values. Deeper nodes and character data are not kept.
//
// A file of a million waypoints must stay small in memory, so nothing is allocated per node:
// names are interned once and referred to by NameId, attribute values live back to back in one
// arena, and a node's attributes run up to where the next node's begin.
class GpxDocument
{
public:
    using NameId = std::uint32_t;

    struct AttributeView
    {
        std::string_view Name;
        std::string_view Value;
    };

    bool HasRoot() const { return !nodes_.empty(); }
    std::string_view RootName() const;
    std::size_t ChildCount() const { return nodes_.empty() ? 0 : nodes_.size() - 1; }

    GpxNodeKind ChildKind(std::size_t child) const { return nodes_[child + 1].Kind; }
    NameId ChildNameId(std::size_t child) const { return nodes_[child + 1].Name; }
    std::string_view ChildName(std::size_t child) const { return Name(ChildNameId(child)); }

    std::size_t ChildAttributeCount(std::size_t child) const;
    AttributeView ChildAttributeAt(std::size_t child, std::size_t index) const;
    // The value of the attribute whose qualified name is `name`, or nothing when there is none.
    std::optional<std::string_view> ChildAttribute(std::size_t child, NameId name) const;
    std::optional<std::string_view> ChildAttribute(std::size_t child, std::string_view name) const;
    std::optional<std::string_view> RootAttribute(std::string_view name) const;

    // The id under which `name` is interned; nothing when no node or attribute is called that, so
    // a caller can compare ids instead of strings.
    std::optional<NameId> FindName(std::string_view name) const;
    std::string_view Name(NameId id) const;

    // Building, in document order: the root first, then each child; AddAttribute belongs to the
    // node added last.
    NameId InternName(std::string_view name);
    void SetRoot(NameId name);
    // Inline: the loader calls these for every waypoint of a large file.
    void AddChild(GpxNodeKind kind, NameId name)
    {
        if (nodes_.empty())
            NoRoot();
        nodes_.push_back({name, static_cast<std::uint32_t>(attributes_.size()), kind});
    }
    void AddAttribute(NameId name, std::string_view value)
    {
        if (attributes_.size() >= ByteBuffer::MaxSize)
            ByteBuffer::TooLarge();
        const std::uint32_t begin = values_.size();
        values_.Append(value);
        attributes_.push_back({name, begin});
    }
    // Room for this much, so that the arrays need not be copied while they grow. Capacity that
    // is never written to costs address space only: the system backs large blocks lazily.
    void Reserve(std::size_t nodes, std::size_t attributes, std::size_t valueBytes);

    // Bytes in use (not reserved), for the benchmark's report.
    std::size_t MemoryUsed() const;

    // The waypoints as mapped while the file was read, if they were (see GpxLoader).
    const WaypointPlot *Plot() const { return plot_.get(); }
    std::shared_ptr<const WaypointPlot> SharedPlot() const { return plot_; }
    void SetPlot(std::shared_ptr<const WaypointPlot> plot) { plot_ = std::move(plot); }

    // The track segments and routes directly under the root, when the loader was asked for them
    // (see GpxLoader::CollectLines), and their plot made while reading, if it was.
    const GpxLines &Lines() const { return lines_; }
    GpxLines &Lines() { return lines_; }
    // The waypoints' coordinate texts, one point each, as the loader found them (not for a
    // document built otherwise).
    const GpxLines &Waypoints() const { return waypoints_; }
    GpxLines &Waypoints() { return waypoints_; }
    const LinePlot *LinesPlot() const { return linePlot_.get(); }
    std::shared_ptr<const LinePlot> SharedLinesPlot() const { return linePlot_; }
    void SetLinesPlot(std::shared_ptr<const LinePlot> plot) { linePlot_ = std::move(plot); }

private:
    struct Node
    {
        NameId Name;
        std::uint32_t FirstAttribute;
        GpxNodeKind Kind;
    };
    struct Attribute
    {
        NameId Name;
        std::uint32_t ValueOffset; // the value ends where the next one begins
    };

    [[noreturn]] static void NoRoot();
    std::uint32_t AttributeEnd(std::size_t node) const;
    std::optional<std::string_view> FindAttribute(std::size_t node, NameId name) const;
    std::string_view Value(std::uint32_t attribute) const;

    std::vector<Node> nodes_; // [0] is the root
    std::vector<Attribute> attributes_;
    ByteBuffer values_;
    ByteBuffer names_; // interned names back to back
    std::vector<std::uint32_t> nameEnds_; // name i is names_[nameEnds_[i-1], nameEnds_[i])
    std::unordered_map<std::string, NameId> nameIds_;
    std::shared_ptr<const WaypointPlot> plot_;
    GpxLines lines_;
    GpxLines waypoints_;
    std::shared_ptr<const LinePlot> linePlot_;
};

} // namespace carteva
