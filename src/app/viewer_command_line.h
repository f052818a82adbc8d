#pragma once

#include <QStringList>

class QTextStream;

// What the viewer's command line asks before any window exists, so that --help and --version
// answer on a machine without a display. Returns -1 to start the viewer; otherwise the exit status
// after printing the help or the version on `out` (0), or the usage for an option neither the
// viewer nor the GUI toolkit takes on `err` (2). `arguments` follow the program name.
int answerCommandLine(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The scan file to open: the first argument left once the toolkit has taken its own options, after
// a "--" that ends the options where one is given; empty without one.
QString fileArgument(const QStringList &arguments);

// Whether the viewer is to start as on its first run, forgetting what it remembered (--reset-settings).
bool resetSettingsAsked(const QStringList &arguments);
