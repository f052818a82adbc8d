#include "data/measured_coordinates.h"

#include "data/binary_file.h"
#include "data/finite_points.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"

#include <cmath>

void measuredCoordinates(const ScanFrameStore &store, float *xyz, uint8_t *valid) {
    const int64_t n = static_cast<int64_t>(store.width) * store.height;
    const float *in = store.xyz.get();
    for (int64_t i = 0; i < n; ++i) {
        const bool kept = store.mask[i] && isFinite(in + 3 * i);
        valid[i] = kept;
        for (int a = 0; a < 3; ++a)
            xyz[3 * i + a] = kept ? in[3 * i + a] : NAN;
    }
}

bool writeMeasuredCoordinates(const QString &path, const float *xyz, const uint8_t *rgb, int32_t width,
                              int32_t height, QString *error) {
    const int64_t n = static_cast<int64_t>(width) * height;
    auto points = tryAllocate<float>(3 * n);
    auto texture = tryAllocate<uint8_t>(3 * n);
    auto mask = tryAllocate<uint8_t>(n);
    if (!points || !texture || !mask) {
        if (error)
            *error = outOfMemoryMessage(width, height);
        return false;
    }
    for (int64_t i = 0; i < n; ++i) {
        const bool kept = isFinite(xyz + 3 * i);
        mask[i] = kept;
        for (int a = 0; a < 3; ++a) {
            points[3 * i + a] = kept ? xyz[3 * i + a] : 0.0f;
            texture[3 * i + a] = kept ? (rgb ? rgb[3 * i + a] : 255) : 0;
        }
    }
    return writeXYZMFile(path, points.get(), texture.get(), mask.get(), width, height, error, nullptr);
}
