// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace carteva {

// Where text crosses between Qt and the model's UTF-16 number text: both hold UTF-16 code units,
// so nothing is converted.
inline std::u16string_view Utf16(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()),
            static_cast<std::size_t>(text.size())};
}

inline QString FromUtf16(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace carteva
