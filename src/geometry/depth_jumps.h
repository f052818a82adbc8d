#pragma once

#include "geometry/frame_camera.h"
#include "support/default_init_allocator.h"

#include <cstdint>
#include <vector>

class ScanFrameStore;

// The points of one row of samples and their depths from the frame's camera, as separate arrays so
// that a loop over them runs in vector registers. Where the camera stands at the origin looking along
// +z the depths are the z array itself and `depth` stays empty.
struct RowPoints {
    std::vector<float, DefaultInitAllocator<float>> x, y, z, depth;
};

// Where the surface jumps in depth from one pixel to the next (the rim of an object in front of a
// wall), joining the neighbours hangs a false "curtain" of long thin triangles from the rim to the
// background. The rule: a triangle of the grid mesh is a depth jump when its longest edge is longer
// than `factor` pixel footprints at the depth of its nearest corner, or a corner lies at or behind
// the camera or is not a number. Depth is the distance along the axis of the frame's camera
// (frameCamera), wherever the frame's coordinates put it. A pixel's footprint at depth d is d times
// the frame's footprint per unit depth (footprintPerDepth); between samples `stride` pixels apart
// the allowance is `stride` times as long. The mesh builders ask the rule for every cell of the
// grid, so the view, the renders and the exports drop the same triangles.
class DepthJumpRule {
  public:
    static constexpr float kDefaultFactor = 5.0f;

    // Keeps every triangle.
    DepthJumpRule() = default;
    // The rule for the frame in the store, which must outlive it.
    DepthJumpRule(const ScanFrameStore &store, float factor, int stride);
    bool enabled() const { return m_enabled; }

    // The points the rule looks at along sample row `row`, with their depths: a finished frame's own
    // coordinates; a raw frame's phase triangulated as the intersection of the camera ray with the
    // projector plane, which runs at memory speed (within float rounding of phaseToCoordinate). A
    // pixel without a measurement gets whatever its data give: the builders never ask about it.
    void rowPoints(int row, RowPoints &points) const;
    // The verdicts on the cells between two rows of samples: bit 0 for the cell's triangle (top-left,
    // below, below-right), bit 1 for (top-left, below-right, right); set for a jump. `samples` points
    // per row, so samples - 1 cells.
    void markJumps(const RowPoints &top, const RowPoints &bottom, int samples, uint8_t *jumps) const;

  private:
    const ScanFrameStore *m_store = nullptr;
    int m_stride = 1;
    bool m_enabled = false;
    FrameCamera m_camera;
    bool m_depthIsZ = true;
    // (factor x stride x footprint per depth) squared.
    float m_limit = 0.0f;
    // A raw frame's camera centre, ray directions (u g0 + v g1 + g2) and projector plane terms.
    float m_centre[3] = {};
    float m_g[3][3] = {};
    float m_alpha = 0.0f, m_beta = 0.0f;
    float m_p1[3] = {}, m_p2[3] = {};
};

// The size of one pixel at unit depth from `camera`, the frame's (frameCamera). For a frame with a
// calibration, 1 / f with f the camera's focal length in pixels. A finished frame carries none:
// there it is the median distance between neighbouring measured points divided by their depth,
// which a pinhole camera makes 1 / f on a surface facing it and a little more on a slanted one (so
// the rule errs towards keeping). Zero when the frame gives no estimate (no measured neighbours in
// front of the camera): a rule made with it keeps every triangle.
float footprintPerDepth(const ScanFrameStore &store, const FrameCamera &camera);
