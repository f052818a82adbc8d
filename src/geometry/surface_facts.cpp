#include "data/region.h"
#include "data/scan_frame_store.h"
#include "support/row_pool.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// One row's share; rows are summed in order afterwards, so the facts do not depend on the
// number of threads.
struct RowFacts {
    int64_t count = 0;
    double sum[3] = {0.0, 0.0, 0.0};
    float min[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::infinity()};
    float max[3] = {-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()};

    void add(const float *p, const RegionTest &region) {
        if (!region.keeps(p))
            return;
        for (int a = 0; a < 3; ++a) {
            sum[a] += p[a];
            min[a] = std::min(min[a], p[a]);
            max[a] = std::max(max[a], p[a]);
        }
        ++count;
    }
};

} // namespace

SurfaceFacts ScanFrameStore::measureSurface() const {
    return measureSurface(Region());
}

SurfaceFacts ScanFrameStore::measureSurface(const Region &region) const {
    const RegionTest test(region);
    SurfaceFacts facts;
    if (width < 1 || height < 1 || !mask)
        return facts;
    std::vector<RowFacts> rows(static_cast<size_t>(height));
    const bool fromPhase = frameKind != XyzmFrame;
    RowPool::instance().forRows(height, [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            RowFacts &row = rows[static_cast<size_t>(y)];
            const int64_t rowStart = static_cast<int64_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const int64_t i = rowStart + x;
                if (!mask[i])
                    continue;
                if (!fromPhase) {
                    row.add(xyz.get() + 3 * i, test);
                    continue;
                }
                const QVector3D q = phaseToCoordinate(static_cast<float>(x), static_cast<float>(y), phase[i]);
                const float p[3] = {q.x(), q.y(), q.z()};
                row.add(p, test);
            }
        }
    });
    RowFacts all;
    for (const RowFacts &row : rows) {
        all.count += row.count;
        for (int a = 0; a < 3; ++a) {
            all.sum[a] += row.sum[a];
            all.min[a] = std::min(all.min[a], row.min[a]);
            all.max[a] = std::max(all.max[a], row.max[a]);
        }
    }
    facts.validCount = all.count;
    if (all.count == 0)
        return facts;
    for (int a = 0; a < 3; ++a) {
        facts.min[a] = all.min[a];
        facts.max[a] = all.max[a];
        facts.mean[a] = static_cast<float>(all.sum[a] / static_cast<double>(all.count));
    }
    return facts;
}

void ScanFrameStore::measureDepths(float *z, const Region &region) const {
    if (width < 1 || height < 1 || !mask)
        return;
    const RegionTest test(region);
    const bool fromPhase = frameKind != XyzmFrame;
    RowPool::instance().forRows(height, [&](int first, int end) {
        const float none = std::numeric_limits<float>::quiet_NaN();
        for (int y = first; y < end; ++y) {
            const int64_t rowStart = static_cast<int64_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const int64_t i = rowStart + x;
                const float u = static_cast<float>(x), v = static_cast<float>(y);
                float depth = none;
                if (mask[i] && test.keepsAll()) {
                    depth = fromPhase ? phaseToDepth(u, v, phase[i]) : xyz[3 * i + 2];
                } else if (mask[i]) {
                    // The region tests the whole point.
                    const QVector3D q = fromPhase ? phaseToCoordinate(u, v, phase[i]) : QVector3D();
                    const float triangulated[3] = {q.x(), q.y(), q.z()};
                    const float *p = fromPhase ? triangulated : xyz.get() + 3 * i;
                    depth = test.keeps(p) ? p[2] : none;
                }
                z[i] = std::isfinite(depth) ? depth : none;
            }
        }
    });
}
