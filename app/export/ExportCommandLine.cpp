// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommandLine.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace carteva {

namespace {

// A word of the command line and what it stands for.
template<class Value> struct Named
{
    std::string_view name;
    Value value;
};

constexpr Named<ExportFormat> Formats[] = {
    {"vrt", ExportFormat::Vrt},
    {"map", ExportFormat::Map},
    {"points", ExportFormat::Points},
    {"text", ExportFormat::Text},
    {"report", ExportFormat::Report},
    {"pixels", ExportFormat::Pixels},
    {"projections", ExportFormat::Projections},
};

constexpr Named<MappingKind> Fits[] = {
    {"best", MappingKind::BestFit},
    {"nearest", MappingKind::TwoNearest},
};

template<class Value, std::size_t N>
std::optional<Value> Lookup(const Named<Value> (&table)[N], std::string_view name)
{
    for (const Named<Value> &entry : table) {
        if (entry.name == name)
            return entry.value;
    }
    return std::nullopt;
}

ExportCommandLine WrongUsage(std::string problem)
{
    ExportCommandLine result;
    result.Problem = std::move(problem);
    return result;
}

} // namespace

ExportCommandLine ExportCommandLine::Parse(std::span<const std::string> arguments)
{
    ExportCommandLine result;
    bool haveBitmap = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            if (haveBitmap)
                return WrongUsage("one bitmap only, not also " + std::string(argument));
            result.Options.Bitmap = argument;
            haveBitmap = true;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            result.Do = Action::Help;
            return result;
        }
        if (argument == "--version") {
            result.Do = Action::Version;
            return result;
        }

        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        if (name != "--format" && name != "--output" && name != "--fit" && name != "--projection")
            return WrongUsage("unknown option " + std::string(name));
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return WrongUsage(std::string(name) + " needs a value");
        }
        if (value.empty())
            return WrongUsage(std::string(name) + " needs a value");

        if (name == "--output") {
            result.Options.Output = value;
        } else if (name == "--projection") {
            result.Options.Projection = value;
        } else if (name == "--fit") {
            result.Options.Fit = Lookup(Fits, value);
            if (!result.Options.Fit)
                return WrongUsage("unknown fit " + std::string(value) + " (choose best or nearest)");
        } else if (const std::optional<ExportFormat> format = Lookup(Formats, value)) {
            result.Options.Format = *format;
        } else {
            return WrongUsage("unknown format " + std::string(value)
                              + " (choose vrt, map, points, text, report, pixels or projections)");
        }
    }
    if (!haveBitmap)
        return WrongUsage("no bitmap given");
    if (result.Options.Fit && result.Options.Format != ExportFormat::Text
        && result.Options.Format != ExportFormat::Report
        && result.Options.Format != ExportFormat::Pixels)
        return WrongUsage("--fit goes with --format report, text or pixels");
    result.Do = Action::Export;
    return result;
}

} // namespace carteva
