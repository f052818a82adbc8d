#pragma once

#include <QString>

#include <cstdint>

class ScanFrameStore;

// A frame's coordinates as array libraries hold them: W x H x 3 floats with NaN where nothing was
// measured or the point is not finite. valid gets 1 exactly where a point is kept, 0 elsewhere. A
// phase frame must be triangulated into the store's xyz first (computeCoordinatesFromPhase), as a
// save does; the kept points are then the bits an XYZM save writes.
void measuredCoordinates(const ScanFrameStore &store, float *xyz, uint8_t *valid);

// Writes coordinates in that form as an XYZM frame: a pixel with any coordinate not finite is
// written unmeasured, as (0, 0, 0) with a black texture and mask 0. rgb may be null: measured
// pixels are then white.
bool writeMeasuredCoordinates(const QString &path, const float *xyz, const uint8_t *rgb, int32_t width,
                              int32_t height, QString *error);
