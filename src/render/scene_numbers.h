#pragma once

#include <QString>

struct Framing;

// Decimals that show a length to about a thousandth of `span`, the size of the scene: a scene
// 200 units deep gets one, one of 0.5 units four. The units are the frame's own.
int decimalsForSpan(double span);
// Decimals that suit lengths in the frame on screen, from the largest extent of its framing's box.
int sceneDecimals(const Framing &framing);
QString sceneNumber(double value, int decimals);
