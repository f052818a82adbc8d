#pragma once

#include <QString>

// Decimals that show a length to about a thousandth of `span`, the size of the scene: a scene
// 200 units deep gets one, one of 0.5 units four. The units are the frame's own.
int decimalsForSpan(double span);
QString sceneNumber(double value, int decimals);
