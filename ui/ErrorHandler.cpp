// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ErrorHandler.h"

#include "calibration/CheckedMath.h"
#include "calibration/Errors.h"
#include "ui/Platform.h"

#include <QApplication>
#include <QFileInfo>

#include <new>

namespace carteva {

QString ErrorHandler::ApplicationTitle(const QString &programFilePath)
{
    // The name without its folder, cut before its first ".".
    QString name = QFileInfo(programFilePath).baseName();
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ErrorHandler::WithFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QString ErrorHandler::MessageOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void ErrorHandler::Handle(std::exception_ptr failure)
{
    // A failed operation may have left the unit in any state; the model needs its settings back.
    EstablishFloatingPointSettings();
    try {
        std::rethrow_exception(failure);
    } catch (const EAbort &) {
        return;
    } catch (...) { }
    try {
        const QString title = ApplicationTitle(QCoreApplication::applicationFilePath());
        Platform::Current().ShowMessage(QApplication::activeWindow(),
                                        WithFullStop(MessageOf(failure)), title,
                                        QMessageBox::Critical);
    } catch (...) {
        // Showing the box failed too (out of memory, say): nothing better is left to do.
    }
}

} // namespace carteva
