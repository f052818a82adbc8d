#pragma once

#include <QPair>
#include <QString>
#include <QVector>

class ScanFrameStore;

// The ten (label, value) rows of the file information table for the frame in the store, in the
// order the table shows them; the count, ranges and centre are measured over every measured pixel.
// An eleventh says so where depth is taken along z because the frame shows no camera (frameCamera).
QVector<QPair<QString, QString>> fileInfoRows(const ScanFrameStore &store);

// The row that tells the temporal noise of a 3D video (medianNoise) over frames first to last.
QPair<QString, QString> noiseInfoRow(float noise, int first, int last);
