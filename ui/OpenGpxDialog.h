// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/OpenFileDialog.h"

class QAction;
class QCheckBox;

namespace carteva {

// The GPX file dialog: one filter, an encoding list that remembers its choice, and the last file
// chosen offered again. The encoding choice does not affect parsing: the parser reads the
// encoding from the file itself.
class OpenGpxDialog : public OpenFileDialog
{
    Q_OBJECT
public:
    explicit OpenGpxDialog(QWidget *parent = nullptr);

    // Offers the file chosen last before the dialog is shown again.
    void RememberChoice(const QString &fileName);
    // The check box "Draw tracks and routes" beside the encoding shows and sets the checkable
    // `drawLines` (the picture menu's entry, which remembers the choice).
    void ShareDrawLines(QAction &drawLines);

private:
    QCheckBox *drawLines_;
};

} // namespace carteva
