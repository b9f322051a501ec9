// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommandLine.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

namespace carteva {

namespace {

struct FormatName
{
    std::string_view name;
    ExportFormat format;
};

constexpr FormatName Formats[] = {
    {"vrt", ExportFormat::Vrt},
    {"map", ExportFormat::Map},
    {"points", ExportFormat::Points},
    {"text", ExportFormat::Text},
    {"report", ExportFormat::Report},
};

struct FitName
{
    std::string_view name;
    MappingKind kind;
};

constexpr FitName Fits[] = {
    {"best", MappingKind::BestFit},
    {"nearest", MappingKind::TwoNearest},
};

std::optional<ExportFormat> FormatNamed(std::string_view name)
{
    for (const FormatName &entry : Formats) {
        if (entry.name == name)
            return entry.format;
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
        if (name != "--format" && name != "--output" && name != "--fit")
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
        } else if (name == "--fit") {
            const auto fit = std::find_if(std::begin(Fits), std::end(Fits),
                                          [&](const FitName &entry) { return entry.name == value; });
            if (fit == std::end(Fits))
                return WrongUsage("unknown fit " + std::string(value) + " (choose best or nearest)");
            result.Options.Fit = fit->kind;
        } else if (const std::optional<ExportFormat> format = FormatNamed(value)) {
            result.Options.Format = *format;
        } else {
            return WrongUsage("unknown format " + std::string(value)
                              + " (choose vrt, map, points, text or report)");
        }
    }
    if (!haveBitmap)
        return WrongUsage("no bitmap given");
    if (result.Options.Fit && result.Options.Format != ExportFormat::Text
        && result.Options.Format != ExportFormat::Report)
        return WrongUsage("--fit goes with --format report or text");
    result.Do = Action::Export;
    return result;
}

} // namespace carteva
