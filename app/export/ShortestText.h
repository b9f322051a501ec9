// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace carteva {

// The shortest text that reads back to the same double, whatever the locale ("50.5", "-0.25",
// "1e-07"): what the map tools' files hold.
std::string ShortestText(double value);

// `value` with exactly `decimals` decimals, whatever the locale ("12.500"); a value that rounds to
// zero has no minus sign.
std::string FixedText(double value, int decimals);

} // namespace carteva
