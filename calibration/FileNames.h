// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace carteva {

// The part of a file name that the caller completes with `extra` more bytes, so that the whole fits
// in `folder`: `name` itself when it does, else its start (whole characters) and a hash of all of
// it, within the file system's name and path limits.
std::string FittingName(const std::filesystem::path &folder, const std::string &name,
                        std::size_t extra);

// A new name for a temporary file of `target` in `folder`: ".<name>.tmp-" and six random letters,
// shortened as above when needed, recognisable as ours when a killed save leaves it behind.
std::string TemporaryName(const std::filesystem::path &folder, const std::filesystem::path &target);

// Removes temporary files of `target` that a killed save left: a minute old and not held by a save
// under way (each save locks its temporary file). Failures change nothing and are not reported.
void RemoveStaleTemporaries(const std::filesystem::path &folder,
                            const std::filesystem::path &target);

} // namespace carteva
