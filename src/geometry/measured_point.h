#pragma once

#include "data/region.h"

#include <QPoint>
#include <QVector3D>

#include <optional>

class ScanFrameStore;

// The point the scanner measured at pixel (u, v): the stored coordinates of a coordinate frame, or
// the triangulation of the pixel's own phase for a phase frame. Empty for a pixel outside the
// frame, one without a measurement, or one whose point is not finite.
std::optional<QVector3D> measuredPoint(const ScanFrameStore &store, int u, int v);

// The measured pixel whose point lies nearest to `point`, a point read back from the drawn surface.
// A phase frame looks only near the pixel the camera sees the point at; a coordinate frame has no
// camera to ask and looks at every pixel. Only pixels whose point the region keeps qualify; empty when
// none does.
std::optional<QPoint> nearestMeasuredPixel(const ScanFrameStore &store, const QVector3D &point,
                                           const Region &region = Region());
