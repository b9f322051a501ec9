// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLabel>

class QAction;

namespace carteva {

// Tells the user, once per run, that a loaded file's tracks and routes were not drawn: a line
// above the picture and the pointer readout's tooltip, where it is seen without opening
// anything and without a box in the way. It goes once "Draw tracks and routes" is turned on.
class UndrawnLinesNotice : public QLabel
{
    Q_OBJECT
public:
    UndrawnLinesNotice(QWidget &window, QLabel &readout, QAction &drawLines);

    // Shows the notice, unless it was shown before in this run.
    void Tell();

private:
    QLabel &readout_;
    bool told_ = false;
};

} // namespace carteva
