// Ending the program by SIGTERM or SIGINT (the session ends, Ctrl+C in a terminal): handled like
// the close box, also while a fetch blocks the window's thread.
#pragma once

class Form1;

namespace ExitSignals {

// Installs the handlers: a signal then closes the window as the close box does. A second signal
// ends the program at once, the default way. False when they could not be installed.
bool install(Form1 &window);

} // namespace ExitSignals
