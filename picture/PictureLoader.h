// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

#include <QString>

class QFile;

#include <filesystem>

namespace carteva {

// Loads a picture, choosing its kind by the extension alone (bmp, ico, emf, wmf, any case).
// Throws Error with the user-facing message: "Unknown picture file extension (.%s)",
// "Cannot open file "%s". %s", "Stream read error", "Bitmap image is not valid",
// "Icon image is not valid", "Metafile is not valid".
Picture LoadPicture(const QString &fileName);
// The same for a name given as bytes, which are opened as they are; messages show them through Qt.
Picture LoadPicture(const std::filesystem::path &path);
// Opens the file as LoadPicture does, with its messages, without decoding it.
void OpenPictureFile(const std::filesystem::path &path, QFile &file);

} // namespace carteva
