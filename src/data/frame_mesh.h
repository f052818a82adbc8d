#pragma once

#include "data/scan_frame_store.h"
#include "support/default_init_allocator.h"

#include <cstdint>
#include <vector>

// How a frame's mesh is built: every stride-th row and column (1 for every pixel, where vertex number
// is pixel number), and whether the triangles the depth-jump rule calls jumps are left out, with the
// rule's factor (how many pixel footprints long an edge may be). A value the view, the tool and the
// exports pass to the builders; the frame itself holds none of it.
struct MeshSettings {
    static constexpr float kDefaultJumpFactor = 5.0f;

    int32_t stride = 1;
    bool hideDepthJumps = false;
    float depthJumpFactor = kDefaultJumpFactor;
};

// The arrays built from one frame (geometry/mesh_builder.cpp): ten floats a sample (position or
// column, row and phase; normal or the phases below; colour; validity) and the triangle list, with
// the settings they were built with.
struct FrameMesh {
    std::vector<float, DefaultInitAllocator<float>> vertexData;
    std::vector<uint32_t, DefaultInitAllocator<uint32_t>> indexData;
    MeshSettings settings;

    void clear() {
        vertexData.clear();
        indexData.clear();
    }
};

// A frame and its mesh, as the two stages of an export hand them on.
struct MeshedFrame {
    ScanFrameStore frame{ScanFrameStore::NoFrame{}};
    FrameMesh mesh;
    // The region asked for keeps no point of the frame: its file or picture shows nothing.
    bool regionKeptNothing = false;
};

// The mesh builders (geometry/mesh_builder.cpp): ten floats per sample and the triangle list of the
// grid, over every settings.stride-th row and column (the view's coarser levels of detail; exports
// and everything that reads the arrays pixel by pixel use stride 1, where vertex number is pixel
// number). With the depth jumps hidden, triangles the depth-jump rule calls jumps are left out.
// Memory too short for the arrays throws std::bad_alloc and leaves both empty. The frame is only read.

// A finished frame's coordinates (xyz), with normals from the points below and below-right.
void buildCoordinateMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
// A raw frame's (column, row, phase), which the vertex program triangulates with the calibration.
void buildPhaseMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
// The builder the frame's kind calls for.
void buildMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh);
