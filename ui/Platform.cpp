// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QPushButton>

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

int Platform::Ask(QWidget *owner, const QString &text, const QString &caption,
                  QMessageBox::Icon icon, const QStringList &buttons)
{
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, owner);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton *> added;
    for (const QString &label : buttons) {
        const bool cancel = label == QStringLiteral("Cancel");
        QPushButton *button = box.addButton(label,
                                            cancel                ? QMessageBox::RejectRole
                                                : added.isEmpty() ? QMessageBox::AcceptRole
                                                                  : QMessageBox::ActionRole);
        if (added.isEmpty())
            box.setDefaultButton(button);
        if (cancel)
            box.setEscapeButton(button);
        added.push_back(button);
    }
    box.exec();
    return static_cast<int>(added.indexOf(box.clickedButton()));
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
