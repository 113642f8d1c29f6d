#include "core/app/exitsignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler writes a byte; the event loop watches the other end.
int wakePipe[2] = { -1, -1 };

// Runs in signal context: async-signal-safe calls only.
extern "C" void onExitSignal(int)
{
    const int savedErrno = errno;
    // Whichever of the two comes next ends the program.
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &defaultAction, nullptr);
    ::sigaction(SIGTERM, &defaultAction, nullptr);
    const char byte = 1;
    // A full pipe is readable all the same, so a write that fails loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

bool ExitSignals::install(QObject *context, std::function<void()> onSignal)
{
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onSignal = std::move(onSignal)] {
        notifier->setEnabled(false);
        onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}
