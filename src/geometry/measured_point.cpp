#include "geometry/measured_point.h"

#include "data/finite_points.h"
#include "data/scan_frame_store.h"

#include <cmath>
#include <limits>

namespace {

// How far around the camera's pixel a phase frame looks: rounding, the depth buffer's few bits and
// a point inside a triangle between pixels all stay well within it.
constexpr int kPhaseSearchRadius = 3;

} // namespace

std::optional<QVector3D> measuredPoint(const ScanFrameStore &store, int u, int v) {
    if (u < 0 || v < 0 || u >= store.width || v >= store.height)
        return std::nullopt;
    const int64_t i = static_cast<int64_t>(v) * store.width + u;
    if (!store.mask[i])
        return std::nullopt;
    QVector3D p;
    if (store.frameKind == XyzmFrame)
        p = QVector3D(store.xyz[3 * i], store.xyz[3 * i + 1], store.xyz[3 * i + 2]);
    else
        p = store.phaseToCoordinate(static_cast<float>(u), static_cast<float>(v), store.phase[i]);
    if (!isFinite(p))
        return std::nullopt;
    return p;
}

std::optional<QPoint> nearestMeasuredPixel(const ScanFrameStore &store, const QVector3D &point,
                                           const Region &region) {
    const RegionTest test(region);
    int u0 = 0, v0 = 0, u1 = store.width - 1, v1 = store.height - 1;
    if (store.frameKind != XyzmFrame) {
        // The camera row and column the point projects to, as the triangulation assumed them.
        float image[3];
        for (int r = 0; r < 3; ++r)
            image[r] = store.m_Ac(r, 0) * point.x() + store.m_Ac(r, 1) * point.y() +
                       store.m_Ac(r, 2) * point.z() + store.m_Tc[r];
        const float u = image[0] / image[2], v = image[1] / image[2];
        if (!std::isfinite(u) || !std::isfinite(v) || std::fabs(u) > 1e7f || std::fabs(v) > 1e7f)
            return std::nullopt;
        const int cu = static_cast<int>(std::lround(u)), cv = static_cast<int>(std::lround(v));
        u0 = std::max(u0, cu - kPhaseSearchRadius), u1 = std::min(u1, cu + kPhaseSearchRadius);
        v0 = std::max(v0, cv - kPhaseSearchRadius), v1 = std::min(v1, cv + kPhaseSearchRadius);
    }
    std::optional<QPoint> best;
    float bestDistance = std::numeric_limits<float>::infinity();
    for (int v = v0; v <= v1; ++v) {
        for (int u = u0; u <= u1; ++u) {
            const std::optional<QVector3D> p = measuredPoint(store, u, v);
            if (!p || !test.keeps(*p))
                continue;
            const float d = (*p - point).lengthSquared();
            if (d < bestDistance) {
                bestDistance = d;
                best = QPoint(u, v);
            }
        }
    }
    return best;
}
