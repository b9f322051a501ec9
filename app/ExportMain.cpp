// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/ExportCommand.h"
#include "app/export/ExportCommandLine.h"
#include "calibration/CheckedMath.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

// Qt's own warnings (no XDG_RUNTIME_DIR in a cron job, say) are not the user's business: a failure
// is reported as one line of the command's own. Critical and fatal messages still show.
void QuietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "carteva-export: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    using carteva::ExportCommandLine;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ExportCommandLine commandLine = ExportCommandLine::Parse(arguments);
    switch (commandLine.Do) {
    case ExportCommandLine::Action::Help:
        std::cout << ExportCommandLine::Usage;
        return 0;
    case ExportCommandLine::Action::Version:
        std::cout << "carteva-export " CARTEVA_VERSION "\n";
        return 0;
    case ExportCommandLine::Action::WrongUsage:
        std::cerr << "carteva-export: " << commandLine.Problem << "\n" << ExportCommandLine::Usage;
        return 2;
    case ExportCommandLine::Action::Export:
        break;
    }

    // Icons and metafiles are decoded with Qt Gui, which wants an application and a platform;
    // nothing is ever shown, so no display is needed. Qt sees none of the arguments. A BMP is
    // measured by its headers alone and needs neither.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQtMessages);
    int qtArgc = 1;
    std::optional<QGuiApplication> application;
    const std::string extension = std::filesystem::path(commandLine.Options.Bitmap).extension();
    if (QByteArrayView(extension).compare(".bmp", Qt::CaseInsensitive) != 0)
        application.emplace(qtArgc, argv);
    carteva::EstablishFloatingPointSettings();
    return carteva::ExportCommand::Run(commandLine.Options, std::cin, std::cout, std::cerr);
}
