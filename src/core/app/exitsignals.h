// Ending the program by SIGINT (Ctrl-C in a terminal) or SIGTERM (the session ends): a command stops what
// is under way and keeps what it finished, a window closes as its close box does.
#pragma once

#include <functional>

class QObject;

namespace ExitSignals {

// onSignal runs on the event loop's thread, once, as long as context lives. A second signal ends the
// program at once, the default way. False when the handlers could not be installed.
bool install(QObject *context, std::function<void()> onSignal);

} // namespace ExitSignals
