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

// The arrays built from one frame (geometry/mesh_builder.h): ten floats a sample (position or
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
