// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string_view>

namespace carteva {

// `text` without the spaces, tabs and line ends around it; a typed or stored definition or code
// often carries them.
std::string_view Trimmed(std::string_view text);

} // namespace carteva
