#pragma once

#include <QRect>

class QWidget;

// Where the main window goes on a screen whose available area is `available`: 5 % in from the
// desktop origin, 70 % of the available width and height. The area's own offset is not added,
// so a task bar at the left or top does not push the window along.
QRect mainWindowGeometry(const QRect &available);
// Places the window on the primary screen by mainWindowGeometry.
void placeOnPrimaryScreen(QWidget &window);

class QMainWindow;

// The window's size, place and dock layout as the last run left them, from the settings; false on
// the first run, when the window keeps where it is.
bool restoreWindowLayout(QMainWindow &window);
// Remembers them for the next run.
void saveWindowLayout(const QMainWindow &window);
