// The commands that run without a window and without a display: collect, lookup and history.
#pragma once

#include <QString>

namespace Commands {

// True when the program's first argument names a command.
bool isCommand(const QString &firstArgument);

// Runs the command that argv names and returns the program's exit code: 0 all done, 1 done with some
// pages or lookups failed, 2 bad usage, 3 the history cannot be used, 130 interrupted.
int run(int argc, char *argv[]);

} // namespace Commands
