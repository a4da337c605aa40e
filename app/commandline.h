#pragma once
#include "app/mainwindow.h"

#include <QString>
#include <QStringList>

// tessaryn [DATA_DIR] [--facet N] [--goto X,Y] [--palette FILE] [--version] [--help]
struct CommandLine {
    enum Outcome { Run, ShowHelp, ShowVersion, Refuse };
    Outcome outcome = Run;
    QString dataDir;      // absolute; empty: the configured one
    StartOptions start;
    QString message;      // the help or version text, or why the line was refused
    bool unreadable = false; // refused before its meaning was looked at (an unknown option)
};

// Reads the arguments (the program name first). Needs no application object, so that
// --version and --help work without a display.
CommandLine parseCommandLine(const QStringList &arguments);
