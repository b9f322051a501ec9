// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>

namespace carteva {

namespace {
Platform realPlatform;
Platform *current = &realPlatform;
} // namespace

std::optional<QString> Platform::RunFileDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

void Platform::ShowMessage(QWidget *owner, const QString &text, const QString &caption,
                           QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool Platform::OpenUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void Platform::Quit(int exitCode)
{
    // exit(), not quit(): Qt 6's quit() sends close events, which would save the calibration.
    QCoreApplication::exit(exitCode);
}

Platform &Platform::Current()
{
    return *current;
}

void Platform::Install(Platform *platform)
{
    current = platform ? platform : &realPlatform;
}

} // namespace carteva
