// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OpenFileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>

namespace carteva {

OpenFileDialog::OpenFileDialog(QWidget *parent, const QString &objectName, const QString &title,
                               const QString &nameFilter, const QString &defaultSuffix)
    : QFileDialog(parent)
{
    setObjectName(objectName);
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(title);
    setNameFilter(nameFilter);
    setDefaultSuffix(defaultSuffix);
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setSizeGripEnabled(true);
}

void OpenFileDialog::done(int result)
{
    // A name accepted with Enter while the name completer's list is up leaves that list floating
    // over the main window (seen under X11), where it swallows the next click; close it with the
    // dialog.
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        if (QCompleter *completer = edit->completer(); completer && completer->popup())
            completer->popup()->hide();
    QFileDialog::done(result);
}

} // namespace carteva
