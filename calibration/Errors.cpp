// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/Errors.h"

#include "calibration/Utf.h"

namespace carteva {

EConvertError EConvertError::NotAnInteger(std::u16string_view text)
{
    return EConvertError("''" + ToUtf8(text) + "'' is not a valid integer value");
}

EConvertError EConvertError::NotAFloat(std::u16string_view text)
{
    return EConvertError("''" + ToUtf8(text) + "'' is not a valid floating point value");
}

} // namespace carteva
