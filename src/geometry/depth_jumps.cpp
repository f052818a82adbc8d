#include "geometry/depth_jumps.h"

#include "data/scan_frame_store.h"
#include "support/row_pool.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Vec {
    double x, y, z;
};

Vec cross(const Vec &a, const Vec &b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double dot(const Vec &a, const Vec &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec row(const QMatrix3x3 &m, int r) {
    return {m(r, 0), m(r, 1), m(r, 2)};
}

Vec scaled(const Vec &a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}

// The median of |neighbour - point| / depth over a grid of at most about 128 x 128 measured
// pixels and their right and lower neighbours, depth from the camera.
float spacingPerDepth(const ScanFrameStore &store, const FrameCamera &camera) {
    const int w = store.width, h = store.height;
    const int stepX = std::max(1, w / 128), stepY = std::max(1, h / 128);
    std::vector<float> ratios;
    const float *p = store.xyz.get();
    // A measured point's depth where it lies in front of the camera, else 0.
    auto depthAt = [&](int64_t i) {
        const float *q = p + 3 * i;
        if (!store.mask[i] || !std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2]))
            return 0.0f;
        const float depth = camera.depth(QVector3D(q[0], q[1], q[2]));
        return depth > 0.0f ? depth : 0.0f;
    };
    for (int y = 0; y + 1 < h; y += stepY)
        for (int x = 0; x + 1 < w; x += stepX) {
            const int64_t i = int64_t(y) * w + x;
            const float depth = depthAt(i);
            if (depth == 0.0f)
                continue;
            for (const int64_t j : {i + 1, i + w}) {
                const float neighbourDepth = depthAt(j);
                if (neighbourDepth == 0.0f)
                    continue;
                const float *a = p + 3 * i, *b = p + 3 * j;
                const float d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                          (a[2] - b[2]) * (a[2] - b[2]));
                ratios.push_back(d / std::min(depth, neighbourDepth));
            }
        }
    if (ratios.empty())
        return 0.0f;
    auto middle = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
    std::nth_element(ratios.begin(), middle, ratios.end());
    return std::isfinite(*middle) ? *middle : 0.0f;
}

// The cells of one row, in wide vector registers where the processor has them (the verdicts are the
// same bit for bit: no operation fuses or reorders). Each row comes as its points and their depths.
__attribute__((target_clones("avx2", "default"))) void markRow(const float *tx, const float *ty,
                                                               const float *tz, const float *topDepth,
                                                               const float *bx, const float *by,
                                                               const float *bz, const float *bottomDepth,
                                                               float limit, int samples, uint8_t *jumps) {
    auto squared = [](float dx, float dy, float dz) { return dx * dx + dy * dy + dz * dz; };
    for (int c = 0; c + 1 < samples; ++c) {
        // Corners: i top-left, t right, r below, d below-right; the cell's five edges.
        const float it = squared(tx[c] - tx[c + 1], ty[c] - ty[c + 1], tz[c] - tz[c + 1]);
        const float rd = squared(bx[c] - bx[c + 1], by[c] - by[c + 1], bz[c] - bz[c + 1]);
        const float ir = squared(tx[c] - bx[c], ty[c] - by[c], tz[c] - bz[c]);
        const float td = squared(tx[c + 1] - bx[c + 1], ty[c + 1] - by[c + 1], tz[c + 1] - bz[c + 1]);
        const float id = squared(tx[c] - bx[c + 1], ty[c] - by[c + 1], tz[c] - bz[c + 1]);
        const float di = topDepth[c], dt = topDepth[c + 1], dr = bottomDepth[c], dd = bottomDepth[c + 1];
        const float nearLower = std::min(std::min(di, dr), dd);
        const float nearUpper = std::min(std::min(di, dd), dt);
        const float boundLower = limit * nearLower * nearLower, boundUpper = limit * nearUpper * nearUpper;
        // Every corner in front of the camera and every edge within the allowance, each its own
        // comparison, which a NaN fails: a NaN anywhere counts as a jump (a minimum or maximum
        // would pass one over). No branch, so that the loop runs in vector registers.
        const int ahead = (di > 0.0f) & (dd > 0.0f);
        const int keepLower =
            ahead & (dr > 0.0f) & (ir <= boundLower) & (rd <= boundLower) & (id <= boundLower);
        const int keepUpper =
            ahead & (dt > 0.0f) & (id <= boundUpper) & (td <= boundUpper) & (it <= boundUpper);
        jumps[c] = uint8_t((keepLower ^ 1) | ((keepUpper ^ 1) << 1));
    }
}

// The points of one row of a raw frame's samples (rowPoints), with the row's terms in `row`: alpha,
// beta, the two plane products and their slopes along the row, the camera centre, the ray at u = 0
// and its slope. In wide vector registers where the processor has them, the same bit for bit.
__attribute__((target_clones("avx2", "default"))) void triangulateRow(const float *phase, int samples,
                                                                      int stride, const float (&row)[15],
                                                                      float *px, float *py, float *pz) {
    const float alpha = row[0], beta = row[1], d1 = row[2], d2 = row[3], e1 = row[4], e2 = row[5];
    const float cx = row[6], cy = row[7], cz = row[8], bx = row[9], by = row[10], bz = row[11];
    const float gx = row[12], gy = row[13], gz = row[14];
    for (int k = 0; k < samples; ++k) {
        const float u = float(k * stride), q = phase[k * stride];
        const float t = (alpha - q * beta) / (q * (d2 + u * e2) - (d1 + u * e1));
        px[k] = cx + t * (bx + u * gx);
        py[k] = cy + t * (by + u * gy);
        pz[k] = cz + t * (bz + u * gz);
    }
}

} // namespace

float footprintPerDepth(const ScanFrameStore &store, const FrameCamera &camera) {
    if (store.frameKind == XyzmFrame)
        return spacingPerDepth(store, camera);
    const double f = cameraFocalLength(store.m_Ac);
    return f > 0.0 && std::isfinite(f) ? static_cast<float>(1.0 / f) : 0.0f;
}

DepthJumpRule::DepthJumpRule(const ScanFrameStore &store, float factor, int stride)
    : m_store(&store), m_stride(std::max(1, stride)), m_camera(frameCamera(store)),
      m_depthIsZ(m_camera.atOrigin()) {
    const float reach = factor * static_cast<float>(m_stride) * footprintPerDepth(store, m_camera);
    m_enabled = reach > 0.0f && std::isfinite(reach);
    m_limit = reach * reach;
    if (store.frameKind == XyzmFrame)
        return;
    // The camera centre C, and the ray through pixel (u, v) as u g0 + v g1 + g2, the columns of the
    // inverse of the camera's 3 x 3 block. A point C + t (u g0 + v g1 + g2) lies on the projector
    // plane of phase q where t = (alpha - q beta) / (q (p2 . ray) - p1 . ray).
    const Vec a0 = row(store.m_Ac, 0), a1 = row(store.m_Ac, 1), a2 = row(store.m_Ac, 2);
    const double det = dot(a0, cross(a1, a2));
    const Vec g[3] = {scaled(cross(a1, a2), 1.0 / det), scaled(cross(a2, a0), 1.0 / det),
                      scaled(cross(a0, a1), 1.0 / det)};
    const Vec tc{store.m_Tc.x(), store.m_Tc.y(), store.m_Tc.z()};
    const Vec centre{-(g[0].x * tc.x + g[1].x * tc.y + g[2].x * tc.z),
                     -(g[0].y * tc.x + g[1].y * tc.y + g[2].y * tc.z),
                     -(g[0].z * tc.x + g[1].z * tc.y + g[2].z * tc.z)};
    const Vec p1 = row(store.m_Ap, 1), p2 = row(store.m_Ap, 2);
    m_alpha = float(store.m_Tp.y() + dot(p1, centre));
    m_beta = float(store.m_Tp.z() + dot(p2, centre));
    const Vec *vectors[] = {&centre, &g[0], &g[1], &g[2], &p1, &p2};
    float *targets[] = {m_centre, m_g[0], m_g[1], m_g[2], m_p1, m_p2};
    for (int k = 0; k < 6; ++k) {
        targets[k][0] = float(vectors[k]->x);
        targets[k][1] = float(vectors[k]->y);
        targets[k][2] = float(vectors[k]->z);
    }
}

void DepthJumpRule::rowPoints(int sampleRow, RowPoints &points) const {
    const ScanFrameStore &store = *m_store;
    const int s = m_stride, samples = (store.width - 1) / s + 1;
    points.x.resize(size_t(samples));
    points.y.resize(size_t(samples));
    points.z.resize(size_t(samples));
    points.depth.resize(m_depthIsZ ? 0 : size_t(samples));
    float *px = points.x.data(), *py = points.y.data(), *pz = points.z.data();
    const int64_t rowStart = int64_t(sampleRow) * s * store.width;
    if (store.frameKind == XyzmFrame) {
        const float *p = store.xyz.get() + 3 * rowStart;
        for (int k = 0; k < samples; ++k) {
            px[k] = p[3 * k * s];
            py[k] = p[3 * k * s + 1];
            pz[k] = p[3 * k * s + 2];
        }
        if (!m_depthIsZ)
            m_camera.depths(px, py, pz, samples, points.depth.data());
        return;
    }
    // Along the row the ray and both plane products are linear in u.
    const float v = float(sampleRow * s);
    float base[3], d1 = 0.0f, d2 = 0.0f, e1 = 0.0f, e2 = 0.0f;
    for (int a = 0; a < 3; ++a) {
        base[a] = v * m_g[1][a] + m_g[2][a];
        d1 += m_p1[a] * base[a], d2 += m_p2[a] * base[a];
        e1 += m_p1[a] * m_g[0][a], e2 += m_p2[a] * m_g[0][a];
    }
    const float row[] = {m_alpha, m_beta,      d1,          d2,          e1,
                         e2,      m_centre[0], m_centre[1], m_centre[2], base[0],
                         base[1], base[2],     m_g[0][0],   m_g[0][1],   m_g[0][2]};
    triangulateRow(store.phase.get() + rowStart, samples, s, row, px, py, pz);
    if (!m_depthIsZ)
        m_camera.depths(px, py, pz, samples, points.depth.data());
}

void DepthJumpRule::markJumps(const RowPoints &top, const RowPoints &bottom, int samples,
                              uint8_t *jumps) const {
    const auto &topDepth = m_depthIsZ ? top.z : top.depth,
               &bottomDepth = m_depthIsZ ? bottom.z : bottom.depth;
    markRow(top.x.data(), top.y.data(), top.z.data(), topDepth.data(), bottom.x.data(), bottom.y.data(),
            bottom.z.data(), bottomDepth.data(), m_limit, samples, jumps);
}
