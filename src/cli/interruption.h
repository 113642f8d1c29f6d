// Ctrl-C (SIGINT) and SIGTERM during a command: the command stops what is under way and keeps what it
// finished.
#pragma once

#include <functional>

class QObject;

namespace Interruption {

// onSignal runs on the event loop's thread, once, as long as context lives. A second signal ends the
// program at once, the default way. False when the handlers could not be installed.
bool install(QObject *context, std::function<void()> onSignal);

} // namespace Interruption
