// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/EnteredPoint.h"

#include "calibration/Errors.h"
#include "calibration/NumberText.h"
#include "ui/TextCrossing.h"
#include "ui/TfrmMainControls.h"

#include <QLineEdit>

namespace carteva {

EnteredPoint EnteredPoint::Read(const TfrmMainControls &ui)
{
    EnteredPoint point;
    point.Y = ParseInteger(Utf16(ui.edY->text()));
    point.X = ParseInteger(Utf16(ui.edX->text()));
    const QString latText = ui.edLat->text();
    const QString lonText = ui.edLon->text();
    if (!IsDecimalNumber(Utf16(latText)))
        throw EConvertError::NotAFloat(Utf16(latText));
    if (!IsDecimalNumber(Utf16(lonText)))
        throw EConvertError::NotAFloat(Utf16(lonText));
    point.Lat = ParseDecimal(Utf16(latText));
    point.Lon = ParseDecimal(Utf16(lonText));
    return point;
}

} // namespace carteva
