#pragma once

#include "app/RunOptions.h"

#include <QString>
#include <QStringList>

// The program's command line. Every option applies to this run only: it
// becomes a RunOverrides entry, never a value of the configuration file.
struct CommandLine {
    enum class Action {
        Run,     // start the program with `overrides`
        Help,    // print commandLineHelp() and end
        Version, // print versionText() and end
        Error,   // print `error` and end with kUsageError
    };
    Action action = Action::Run;
    RunOverrides overrides;
    QString error; // what was wrong, in a sentence for the user
};

// Exit status of a command line the program does not understand.
constexpr int kUsageError = 2;

// Parses the program's arguments (the first one is the program itself).
CommandLine parseCommandLine(const QStringList& arguments);

// The answer to --help in the usual form; it names the configuration file
// `configFile`. Needs the application object (for the program's name).
QString commandLineHelp(const QString& configFile);
// The answer to --version: "orunapp 1.0.2".
QString versionText();

// The arguments as the system hands them over: on Windows from the wide
// command line (argv holds them in the local code page, which cannot spell
// every file name), elsewhere argv decoded from the local encoding.
QStringList programArguments(int argc, char** argv);
