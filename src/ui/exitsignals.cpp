#include "ui/exitsignals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler writes a byte; the window's thread watches the other end.
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

bool ExitSignals::install(QWidget &window)
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [notifier, &window] {
        notifier->setEnabled(false);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    // Once only: should the program not end, the next signal ends it the default way.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}
