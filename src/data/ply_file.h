#pragma once

#include <QString>

class ScanFrameStore;
struct FrameMesh;

// Writes a finished frame's coordinate mesh (xyz, and the mesh buildCoordinateMesh makes of it at
// stride 1) as binary little-endian PLY: only vertices with a measurement and a finite point, with
// normal and colour, and the triangles renumbered to them. Where the mesh left the depth jumps out,
// a point whose every triangle was a jump is left out too.
bool writePlyFile(const QString &path, const ScanFrameStore &store, const FrameMesh &mesh, QString *error);
