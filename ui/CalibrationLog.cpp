// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/CalibrationLog.h"

namespace carteva {

Q_LOGGING_CATEGORY(lcCalibration, "carteva.calibration")

} // namespace carteva
