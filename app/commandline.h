#pragma once

#include "app/config.h"

#include <QStringList>

struct CommandLineOutcome
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    AppConfig config;
    // The help or version text to print, or why the command line was refused.
    QString message;
};

// Reads --market-url, --icp-url, --update-url, --home-url and --forum-url over the defaults.
CommandLineOutcome parseCommandLine(const QStringList &arguments);
