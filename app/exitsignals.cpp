#include "app/exitsignals.h"

#include "app/form1.h"
#include "fetch/pagefetcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler, never read: once a signal came it stays readable for every watcher,
// the window's and a blocking fetch's alike.
int wakePipe[2] = { -1, -1 };

// Runs in signal context: async-signal-safe calls only.
extern "C" void onExitSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe is readable all the same, so a write that fails loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool ExitSignals::install(Form1 &window)
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;

    setBlockingFetchInterrupt(wakePipe[0]);
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [notifier, &window] {
        notifier->setEnabled(false);
        if (!window.isExiting())
            window.close();
    });

    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    // Once only: should the program not end, the next signal ends it the default way.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}
