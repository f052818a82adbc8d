#pragma once

#include "data/region.h"

#include <QPair>
#include <QString>
#include <QVector>

class ScanFrameStore;
struct SurfaceFacts;

// The (label, value) rows of the file information table for the frame in the store, in the order the
// table shows them; the count, ranges and centre are measured over every measured pixel. Ten rows;
// with a region set, the facts are those of the points it keeps, their labels say "in region", and an
// eleventh row tells the region. A further row says so where depth is taken along z because
// the frame shows no camera (frameCamera).
QVector<QPair<QString, QString>> fileInfoRows(const ScanFrameStore &store, const Region &region = Region());
// The same rows with the facts already measured (measureSurface over the same region).
QVector<QPair<QString, QString>> fileInfoRows(const ScanFrameStore &store, const SurfaceFacts &facts,
                                              const Region &region);
