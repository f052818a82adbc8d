#pragma once

#include <QScrollArea>

// `contents` in a frameless area that scrolls up and down where a small screen's window cannot show
// a whole dock, never sideways: the area is as wide as the contents need, so no field is cut off.
// Call once the contents have their texts.
QScrollArea *scrolledPanel(QWidget *contents);
