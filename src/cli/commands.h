#pragma once

#include <QStringList>

// The subcommands of pelnor. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 a file that cannot be read or written, 2 wrong arguments.
int runInfo(const QStringList &arguments);
int runConvert(const QStringList &arguments);
int runSample(const QStringList &arguments);
// Needs a QApplication with an OpenGL-capable platform; see renderNeedsDisplay.
int runRender(const QStringList &arguments);
// True when no display is known, so a render cannot get an OpenGL context.
bool renderNeedsDisplay();
int reportNoDisplay();
