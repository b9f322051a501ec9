// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>

// The calibration's one log category, "carteva.calibration": saves, locks, recovery copies.
namespace carteva {

Q_DECLARE_LOGGING_CATEGORY(lcCalibration)

} // namespace carteva
