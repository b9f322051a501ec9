// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QApplication>

namespace carteva {

// The application object: its notify() is the safety net that keeps exceptions out of Qt's event
// loop, should any handler forget its guard.
class CartevaApplication : public QApplication
{
    Q_OBJECT
public:
    CartevaApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace carteva
