// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace carteva {

namespace {

constexpr std::array kSignals {SIGTERM, SIGHUP, SIGINT};
// Read end, write end; the handler can reach only plain globals.
int pipeEnds[2] = {-1, -1};

extern "C" void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up: a lost byte changes nothing.
    [[maybe_unused]] const ssize_t ignored = write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QWidget &window, std::function<void()> lastWords)
    : window_(window)
    , lastWords_(std::move(lastWords))
{
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Signals will end the program without saving: no pipe (%s)", std::strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Arrived);
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals)
        sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    for (int number : kSignals)
        std::signal(number, SIG_DFL);
    delete notifier_;
    for (int &end : pipeEnds) {
        close(end);
        end = -1;
    }
}

void TerminationSignals::Arrived()
{
    char bytes[64];
    int count = 0;
    for (ssize_t n; (n = read(pipeEnds[0], bytes, sizeof bytes)) > 0;)
        count += static_cast<int>(n);
    if (count == 0)
        return;
    const bool first = !closing_;
    closing_ = true;
    // Signals are read between events, so a save under way has finished. Ending the event loops
    // first makes the close's warning box, should its save fail, return at once: nobody may be
    // left to answer it.
    const bool forced = !first || count > 1 || !window_.isVisible();
    if (forced)
        QCoreApplication::exit(0);
    if (first && window_.isVisible())
        window_.close();
    if (forced && lastWords_)
        lastWords_();
}

} // namespace carteva
