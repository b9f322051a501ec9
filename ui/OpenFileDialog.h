// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QFileDialog>

namespace carteva {

// What the program's open dialogs share: Qt's own dialog (so that it can carry extra controls),
// one name filter, a default suffix for typed names, an existing file only, resizable.
class OpenFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    OpenFileDialog(QWidget *parent, const QString &objectName, const QString &title,
                   const QString &nameFilter, const QString &defaultSuffix);

    void done(int result) override;
};

} // namespace carteva
