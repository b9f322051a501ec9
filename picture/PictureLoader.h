// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

#include <QString>

namespace carteva {

// Loads a picture, choosing its kind by the extension alone (bmp, ico, emf, wmf, any case).
// Throws Error with the user-facing message: "Unknown picture file extension (.%s)",
// "Cannot open file "%s". %s", "Stream read error", "Bitmap image is not valid",
// "Icon image is not valid", "Metafile is not valid".
Picture LoadPicture(const QString &fileName);

} // namespace carteva
