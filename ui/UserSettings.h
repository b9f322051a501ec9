// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSettings>

namespace carteva {

// The user's remembered choices (the mapping, the points window's place), in
// $XDG_CONFIG_HOME/Carteva/Carteva.conf whatever the application's name.
class UserSettings : public QSettings
{
public:
    UserSettings()
        : QSettings(QStringLiteral("Carteva"), QStringLiteral("Carteva"))
    { }
};

} // namespace carteva
