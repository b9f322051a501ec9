// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/CartevaApplication.h"

#include "calibration/CheckedMath.h"
#include "ui/ErrorHandler.h"

namespace carteva {

CartevaApplication::CartevaApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    EstablishFloatingPointSettings();
}

bool CartevaApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorHandler::Handle(std::current_exception());
        return false;
    }
}

} // namespace carteva
