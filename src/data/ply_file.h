#pragma once

#include <QString>

class ScanFrameStore;

// Writes the store's coordinate mesh (xyz, vertexData and indexData as buildCoordinateMesh leaves
// them) as binary little-endian PLY: only vertices with a measurement, with normal and colour, and
// the triangles renumbered to them.
bool writePlyFile(const QString &path, const ScanFrameStore &store, QString *error);
