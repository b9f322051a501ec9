// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QFileDialog;
class QWidget;

namespace carteva {

// The few platform services the window asks for interactively. Tests install their own to answer
// dialogs and message boxes without a user; the program uses the real ones.
class Platform
{
public:
    virtual ~Platform() = default;

    // Runs the dialog modally; the chosen file, or nothing when cancelled.
    virtual std::optional<QString> RunFileDialog(QFileDialog &dialog);
    virtual void ShowMessage(QWidget *owner, const QString &text, const QString &caption,
                             QMessageBox::Icon icon);
    // A message box with one button per text, the first the default; the index of the button
    // pressed, or -1 when the box went away otherwise (Escape, the event loops ending). A button
    // named "Cancel" is the one Escape presses.
    virtual int Ask(QWidget *owner, const QString &text, const QString &caption,
                    QMessageBox::Icon icon, const QStringList &buttons);
    // Hands the address to the system's browser; false when none could be started.
    virtual bool OpenUrl(const QUrl &url);
    // Ends the event loop without asking the window whether it may close.
    virtual void Quit(int exitCode);

    static Platform &Current();
    // Installs a replacement (tests); nullptr restores the real one. Not owned.
    static void Install(Platform *platform);
};

} // namespace carteva
