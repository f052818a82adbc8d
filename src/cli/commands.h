#pragma once

#include <QStringList>

// The subcommands of pelnor. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 a file that cannot be read or written, 2 wrong arguments.
int runInfo(const QStringList &arguments);
int runConvert(const QStringList &arguments);
int runSample(const QStringList &arguments);
