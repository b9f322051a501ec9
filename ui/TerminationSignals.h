// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;
class QWidget;

namespace carteva {

// SIGTERM, SIGHUP and SIGINT (a shutdown without a session manager, the terminal closed, Ctrl+C)
// close the window as its close box does, so the points are saved and the program ends with
// status 0. The handler only writes a byte into a pipe, which the event loop reads. A
// second signal during that close (a warning box left up with nobody to answer it) ends the event
// loop once the save is done, after `lastWords` (which may write what would otherwise be lost).
// One instance at a time.
class TerminationSignals : public QObject
{
public:
    explicit TerminationSignals(QWidget &window, std::function<void()> lastWords = {});
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

private:
    void Arrived();

    QWidget &window_;
    std::function<void()> lastWords_;
    QSocketNotifier *notifier_ = nullptr;
    bool closing_ = false;
};

} // namespace carteva
