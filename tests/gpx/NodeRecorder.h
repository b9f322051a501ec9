// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "gpx/GpxLoader.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace carteva {

// The root and its children as a load told them, looked at as a DOM would show them: each node
// with its kind, its name (an element's qualified name, "#text", "#cdata-section", "#comment",
// a processing instruction's target) and, for elements, its attributes. The text between two
// nodes is one "#text" node, left out when it is blank.
class NodeRecorder : public NodeObserver
{
public:
    using Attributes = std::vector<std::pair<std::string, std::string>>;

    // What `loader` tells of the file at `path`.
    static NodeRecorder Load(GpxLoader &loader, const std::filesystem::path &path)
    {
        NodeRecorder recorder;
        loader.Observe(&recorder);
        try {
            loader.Load(path);
        } catch (...) {
            loader.Observe(nullptr);
            throw;
        }
        loader.Observe(nullptr);
        return recorder;
    }

    void Node(GpxNodeKind kind, std::string_view prefix, std::string_view name) override
    {
        textShown_ = false;
        const char *const dom[] = {"", "#text", "#cdata-section", "#comment", ""};
        const std::string shown
            = kind == GpxNodeKind::Element || kind == GpxNodeKind::ProcessingInstruction
            ? Qualified(prefix, name)
            : dom[static_cast<int>(kind)];
        nodes_.push_back({kind, shown, {}});
    }
    void Attribute(std::string_view prefix, std::string_view name, std::string_view value) override
    {
        nodes_.back().attributes.emplace_back(Qualified(prefix, name), value);
    }
    void Text(std::string_view text) override
    {
        if (!textShown_ && text.find_first_not_of(" \t\r\n") != std::string_view::npos) {
            Node(GpxNodeKind::Text, {}, {});
            textShown_ = true;
        }
    }

    std::string RootName() const { return nodes_.empty() ? "" : nodes_[0].name; }
    std::size_t ChildCount() const { return nodes_.empty() ? 0 : nodes_.size() - 1; }
    GpxNodeKind ChildKind(std::size_t child) const { return nodes_[child + 1].kind; }
    const std::string &ChildName(std::size_t child) const { return nodes_[child + 1].name; }
    const Attributes &ChildAttributes(std::size_t child) const
    {
        return nodes_[child + 1].attributes;
    }
    std::optional<std::string> ChildAttribute(std::size_t child, std::string_view name) const
    {
        return Find(nodes_[child + 1], name);
    }
    std::optional<std::string> RootAttribute(std::string_view name) const
    {
        return nodes_.empty() ? std::nullopt : Find(nodes_[0], name);
    }

private:
    struct Recorded
    {
        GpxNodeKind kind;
        std::string name;
        Attributes attributes;
    };

    static std::string Qualified(std::string_view prefix, std::string_view name)
    {
        return prefix.empty() ? std::string(name) : std::string(prefix) + ":" + std::string(name);
    }
    static std::optional<std::string> Find(const Recorded &node, std::string_view name)
    {
        for (const auto &[attribute, value] : node.attributes) {
            if (attribute == name)
                return value;
        }
        return std::nullopt;
    }

    std::vector<Recorded> nodes_; // [0] is the root
    bool textShown_ = false; // since the last node
};

} // namespace carteva
