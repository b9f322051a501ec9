// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "ui/OverlayPlot.h"

#include <QLabel>

class QAction;

namespace carteva {

// The notice line above the picture, where the user sees what a loaded GPX file did not draw
// without a box in the way. Once per run it tells that a file's tracks and routes were not drawn
// (also as the pointer readout's tooltip), until "Draw tracks and routes" is turned on; and it
// tells when nothing of a file lies on the picture, until the next file or Clear waypoints.
class UndrawnLinesNotice : public QLabel
{
    Q_OBJECT
public:
    UndrawnLinesNotice(QWidget &window, QLabel &readout, QAction &drawLines);

    // Shows the notice, unless it was shown before in this run.
    void Tell();
    // When nothing of a file lies on the picture, says how much lies outside it, over the lines
    // notice: a file that draws nothing would otherwise look as if it had not loaded.
    void TellOutside(const OverlaySighting &sighting);
    // Takes what TellOutside showed off again; the lines notice comes back if it still applies.
    void Withdraw();

private:
    void Show(const QString &text);

    QLabel &readout_;
    const QString linesText_;
    bool told_ = false;
    bool linesUp_ = false; // told, and "Draw tracks and routes" not turned on since
    bool saying_ = false;
};

} // namespace carteva
