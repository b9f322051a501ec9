// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <filesystem>

namespace carteva {

// Where a file name crosses between Qt and the standard library. A name that came from Qt (a
// dialog) becomes the bytes Qt itself would open; a name given as bytes is shown through Qt only,
// never opened again through a QString, which cannot hold every byte sequence.
std::filesystem::path StdPath(const QString &fileName);
QString QtPath(const std::filesystem::path &path);

} // namespace carteva
