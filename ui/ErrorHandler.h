// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace carteva {

// The one place failures that leave an event handler are reported.
class ErrorHandler
{
public:
    // The program file's name without folder, cut before its first ".", every character after the
    // first in lower case: /usr/bin/CARTEVA.old.exe -> Carteva.
    static QString ApplicationTitle(const QString &programFilePath);
    // A "." is added when the message is not empty and its last character sorts after ".".
    static QString WithFullStop(const QString &message);

    // Shows the failure in a modal box (title as caption, OK, stop icon); a silent abort shows
    // nothing. Re-establishes the floating-point settings afterwards.
    static void Handle(std::exception_ptr failure);
    static QString MessageOf(std::exception_ptr failure);

    // The caption of every box of the program's own but the few the start-up, the calibration
    // file and the mapping have always captioned "Error".
    static QString OwnCaption() { return QStringLiteral("Carteva"); }
};

// Runs an event handler's body so that no exception reaches Qt's event loop.
template<class Body> void Guarded(Body &&body) noexcept
{
    try {
        std::forward<Body>(body)();
    } catch (...) {
        ErrorHandler::Handle(std::current_exception());
    }
}

} // namespace carteva
