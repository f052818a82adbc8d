#pragma once

#include <QStringList>

// The subcommands of pelnor. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 a file that cannot be read or written, 2 wrong arguments.
int runInfo(const QStringList &arguments);
int runConvert(const QStringList &arguments);
int runSample(const QStringList &arguments);
int runSeries(const QStringList &arguments);
// Reads its input first, then starts a GUI application (given only the program name, so none of
// the command's options reach the toolkit) with an OpenGL-capable platform and draws.
int runRender(const QStringList &arguments, char *program);
