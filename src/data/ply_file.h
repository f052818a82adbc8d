#pragma once

#include <QString>

class ScanFrameStore;

// Writes the store's coordinate mesh (xyz, vertexData and indexData as buildCoordinateMesh leaves
// them, at stride 1) as binary little-endian PLY: only vertices with a measurement and a finite
// point (those "Valid coordinates" counts), with normal and colour, and the triangles renumbered to
// them. With the store's depth jumps hidden, a point whose every triangle was a jump is left out too.
bool writePlyFile(const QString &path, const ScanFrameStore &store, QString *error);

// Writes the frame in the store as PLY as `pelnor convert` does: a phase frame is triangulated and
// meshed as coordinates first. The mesh arrays and statistics the view draws with stay as they were,
// also when the memory for the coordinate mesh is not there.
bool savePlyFile(ScanFrameStore &store, const QString &path, QString *error);
