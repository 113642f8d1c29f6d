// Ending the program by SIGTERM or SIGINT (the session ends, Ctrl+C in a terminal): handled like the
// window's close box.
#pragma once

class QWidget;

namespace ExitSignals {

// Installs the handlers: a signal then closes the window as the close box does. A second signal
// ends the program at once, the default way. False when they could not be installed.
bool install(QWidget &window);

} // namespace ExitSignals
