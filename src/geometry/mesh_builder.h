#pragma once

#include "data/frame_mesh.h"

class ScanFrameStore;

// The mesh builders: ten floats per sample and the triangle list of the grid, over every
// settings.stride-th row and column (the view's coarser levels of detail; exports and everything that
// reads the arrays pixel by pixel use stride 1, where vertex number is pixel number). With the depth
// jumps hidden, triangles the depth-jump rule calls jumps are left out. Memory too short for the
// arrays throws std::bad_alloc and leaves both empty. The frame is only read.

// A finished frame's coordinates (xyz), with normals from the points below and below-right.
void buildCoordinateMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
// A raw frame's (column, row, phase), which the vertex program triangulates with the calibration.
void buildPhaseMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
// The builder the frame's kind calls for.
void buildMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
