// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/ParseFailure.h"

namespace carteva {

void RecordFailure(ParseState &state, const char *description, long line) noexcept
{
    if (state.failed) {
        // A character conversion error comes without a position; the parser's own error, where
        // the decoded text ran out, tells the line.
        if (state.line <= 0)
            state.line = line;
        return;
    }
    state.failed = true;
    state.line = line;
    try {
        state.description = description;
        while (!state.description.empty() && state.description.back() == '\n')
            state.description.pop_back();
        if (state.parser != nullptr)
            state.encoding = state.parser->Encoding();
    } catch (...) {
        state.outOfMemory = true;
    }
}

void RecordError(ParseState &state, const xmlError *error) noexcept
{
    if (error == nullptr || error->level < XML_ERR_ERROR)
        return;
    RecordFailure(state, error->message ? error->message : "", error->line);
}

std::string FailureMessage(const std::string &description, long line, const std::string &excerpt)
{
    return description + "\r\nLine: " + std::to_string(line) + "\r\n" + excerpt;
}

Error FileFailure(const char *what, const std::filesystem::path &path, const char *reason)
{
    return Error(FailureMessage(std::string(what) + " \"" + path.string() + "\". " + reason, 0, {}));
}

} // namespace carteva
