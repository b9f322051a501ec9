// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxDocument.h"

#include "gpx/ReserveHint.h"

#include <stdexcept>

namespace carteva {

std::string_view GpxDocument::RootName() const
{
    return nodes_.empty() ? std::string_view() : Name(nodes_[0].Name);
}

std::size_t GpxDocument::ChildAttributeCount(std::size_t child) const
{
    return AttributeEnd(child + 1) - nodes_[child + 1].FirstAttribute;
}

GpxDocument::AttributeView GpxDocument::ChildAttributeAt(std::size_t child, std::size_t index) const
{
    const std::uint32_t attribute = nodes_[child + 1].FirstAttribute + index;
    return {Name(attributes_[attribute].Name), Value(attribute)};
}

std::optional<std::string_view> GpxDocument::ChildAttribute(std::size_t child, NameId name) const
{
    return FindAttribute(child + 1, name);
}

std::optional<std::string_view> GpxDocument::ChildAttribute(std::size_t child,
                                                            std::string_view name) const
{
    const std::optional<NameId> id = FindName(name);
    return id ? FindAttribute(child + 1, *id) : std::nullopt;
}

std::optional<std::string_view> GpxDocument::RootAttribute(std::string_view name) const
{
    const std::optional<NameId> id = FindName(name);
    return id && HasRoot() ? FindAttribute(0, *id) : std::nullopt;
}

std::optional<GpxDocument::NameId> GpxDocument::FindName(std::string_view name) const
{
    const auto it = nameIds_.find(std::string(name));
    return it == nameIds_.end() ? std::nullopt : std::optional<NameId>(it->second);
}

std::string_view GpxDocument::Name(NameId id) const
{
    const std::uint32_t begin = id == 0 ? 0 : nameEnds_[id - 1];
    return names_.View().substr(begin, nameEnds_[id] - begin);
}

GpxDocument::NameId GpxDocument::InternName(std::string_view name)
{
    const auto [it, added] = nameIds_.try_emplace(std::string(name), nameEnds_.size());
    if (added) {
        names_.Append(name);
        nameEnds_.push_back(names_.size());
    }
    return it->second;
}

void GpxDocument::SetRoot(NameId name)
{
    if (!nodes_.empty())
        throw std::logic_error("GpxDocument::SetRoot: the document already has a root");
    nodes_.push_back({name, static_cast<std::uint32_t>(attributes_.size()), GpxNodeKind::Element});
}

void GpxDocument::NoRoot()
{
    throw std::logic_error("GpxDocument::AddChild: the document has no root");
}

void GpxDocument::Reserve(std::size_t nodes, std::size_t attributes, std::size_t valueBytes)
{
    ReserveHint([&] {
        nodes_.reserve(nodes);
        attributes_.reserve(attributes);
        values_.Reserve(valueBytes);
    });
}

std::size_t GpxDocument::MemoryUsed() const
{
    return nodes_.size() * sizeof(Node) + attributes_.size() * sizeof(Attribute) + values_.size()
        + names_.size() + nameEnds_.size() * sizeof(std::uint32_t) + lines_.MemoryUsed()
        + waypoints_.MemoryUsed();
}

std::uint32_t GpxDocument::AttributeEnd(std::size_t node) const
{
    return node + 1 < nodes_.size() ? nodes_[node + 1].FirstAttribute
                                    : static_cast<std::uint32_t>(attributes_.size());
}

std::optional<std::string_view> GpxDocument::FindAttribute(std::size_t node, NameId name) const
{
    const std::uint32_t end = AttributeEnd(node);
    for (std::uint32_t a = nodes_[node].FirstAttribute; a < end; ++a) {
        if (attributes_[a].Name == name)
            return Value(a);
    }
    return std::nullopt;
}

std::string_view GpxDocument::Value(std::uint32_t attribute) const
{
    const std::uint32_t begin = attributes_[attribute].ValueOffset;
    const std::uint32_t end = attribute + 1 < attributes_.size()
        ? attributes_[attribute + 1].ValueOffset
        : static_cast<std::uint32_t>(values_.size());
    return values_.View().substr(begin, end - begin);
}

} // namespace carteva
