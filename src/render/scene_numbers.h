#pragma once

#include <QString>

class ScanFrameStore;

// Decimals that show a length to about a thousandth of `span`, the size of the scene: a scene
// 200 units deep gets one, one of 0.5 units four. The units are the frame's own.
int decimalsForSpan(double span);
// Decimals that suit lengths in the frame now in the store, from the largest extent of its box.
int sceneDecimals(const ScanFrameStore &store);
QString sceneNumber(double value, int decimals);
