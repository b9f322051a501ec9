// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/CalibrationDocument.h"
#include "ui/CartevaApplication.h"
#include "ui/TerminationSignals.h"
#include "ui/TfrmMain.h"

#include <QIcon>

#include <cstdio>

int main(int argc, char **argv)
{
    carteva::CartevaApplication application(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/carteva/carteva.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.carteva.Carteva"));

    carteva::TfrmMain window;
    carteva::frmMain = &window;
    // Points that no file could take are written to standard error before a forced end.
    const carteva::CalibrationDocument &document = window.Document();
    carteva::TerminationSignals endOnSignals(window, [&document] {
        if (document.PointsOnlyInMemory())
            carteva::CalibrationStore::WriteAsText(stderr, document.Points());
    });
    window.show();
    application.exec();
    // Every path ends with status 0: the cancelled start-up, a close, a log-off, a signal.
    return 0;
}
