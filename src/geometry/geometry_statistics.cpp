#include "data/scan_frame_store.h"
#include "geometry/frame_camera.h"

#include "data/finite_points.h"

#include <algorithm>
#include <cmath>

namespace {

// Finite samples near the float limit can still sum to infinity; such a frame gets the defaults
// rather than a camera placed at infinity.
void keepFinite(ScanFrameStore &store) {
    if (!isFinite(store.centerOfMass) || !isFinite(store.boundingBoxMin) || !isFinite(store.boundingBoxMax) ||
        !isFinite(store.boundingBoxSize))
        store.resetStatistics();
}

// A mean and two standard deviations over a grid of at most 255 x 255 valid samples, each point
// given by pointAt(pixel, x, y) (false: no point there): the mean in the frame's coordinates, the
// deviations across the camera's axis in its x and y (the frame's own where the camera is the
// origin's) and along the frame's z. Coordinates are scaled by 1 / Ny^2 before summing to keep the
// single-precision sums of squares in range on large frames. Returns false when no sample holds a
// finite point.
template <typename PointAt>
bool sampleMeanAndSpread(const ScanFrameStore &store, const FrameCamera &camera, PointAt pointAt,
                         QVector3D &mean, QVector3D &halfExtent) {
    const int width = store.width, height = store.height;
    const int ny = std::min(height, 128);
    const int nx = std::min(width, 128);
    const int stepY = height / ny;
    const int stepX = width / nx;
    const float nySquared = static_cast<float>(ny) * static_cast<float>(ny);
    const float k = 1.0f / nySquared;

    // Sums of x, y and z for the mean; sums and sums of squares of the camera's x and y and of z for
    // the spread.
    float sum[3] = {0.0f, 0.0f, 0.0f};
    float spreadSum[3] = {0.0f, 0.0f, 0.0f};
    float sumSquares[3] = {0.0f, 0.0f, 0.0f};
    int n = 0;
    for (int y = 0; y < height; y += stepY) {
        for (int x = 0; x < width; x += stepX) {
            const int64_t i = static_cast<int64_t>(y) * width + x;
            float p[3];
            if (!store.mask[i] || !pointAt(i, x, y, p))
                continue;
            // One non-finite sample would place the camera at NaN and show nothing.
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                continue;
            const QVector3D seen = camera.toCamera(QVector3D(p[0], p[1], p[2]));
            const float across[3] = {seen.x(), seen.y(), p[2]};
            for (int a = 0; a < 3; ++a) {
                sum[a] += p[a] * k;
                const float scaled = across[a] * k;
                spreadSum[a] += scaled;
                sumSquares[a] += scaled * scaled;
            }
            ++n;
        }
    }
    if (n == 0)
        return false;
    const float count = static_cast<float>(n);
    for (int a = 0; a < 3; ++a) {
        const float scaledMean = spreadSum[a] / count;
        // Cancellation can leave a tiny negative variance for a flat axis.
        const float variance = std::max(0.0f, sumSquares[a] / count - scaledMean * scaledMean);
        mean[a] = (sum[a] * nySquared) / count;
        halfExtent[a] = (std::sqrt(variance) * 2.0f) * nySquared;
    }
    return true;
}

} // namespace

void ScanFrameStore::computeCoordinateStatistics() {
    QVector3D mean, halfExtent;
    const auto pointAt = [this](int64_t i, int, int, float *p) {
        std::copy(xyz.get() + 3 * i, xyz.get() + 3 * i + 3, p);
        return true;
    };
    if (width < 1 || height < 1 ||
        !sampleMeanAndSpread(*this, frameCamera(*this), pointAt, mean, halfExtent)) {
        resetStatistics();
        return;
    }
    centerOfMass = mean;
    boundingBoxMin = mean - halfExtent;
    boundingBoxMax = halfExtent + mean;
    boundingBoxSize = boundingBoxMax - boundingBoxMin;
    keepFinite(*this);
}

// The depth extent always comes from a triangulated sample of the frame, so the vertex program's
// depth cut and the first colour ramp follow the measured surface. The centre and the x and y
// extents come from the image centre (reconstructed there, the box sized from the pixel spacing)
// when both windows there hold measurements; an object beside the axis, or a hole or shadow at the
// centre, takes them from the sample too.
void ScanFrameStore::computePhaseStatistics() {
    QVector3D mean, halfExtent;
    const auto pointAt = [this](int64_t i, int x, int y, float *p) {
        if (!std::isfinite(phase[i]))
            return false;
        const QVector3D q = phaseToCoordinate(static_cast<float>(x), static_cast<float>(y), phase[i]);
        p[0] = q.x(), p[1] = q.y(), p[2] = q.z();
        return true;
    };
    const FrameCamera camera = frameCamera(*this);
    if (width < 1 || height < 1 || !sampleMeanAndSpread(*this, camera, pointAt, mean, halfExtent)) {
        resetStatistics();
        return;
    }
    const QVector3D p0 = triangulateAveraged(static_cast<float>(width / 2), static_cast<float>(height / 2));
    const QVector3D p1 =
        triangulateAveraged(static_cast<float>(width / 2 + 20), static_cast<float>(height / 2 + 20));
    if (isFinite(p0) && isFinite(p1)) {
        centerOfMass = p0;
        // Across the camera's axis: the two points' depths differ with the surface's slant.
        const QVector3D c0 = camera.toCamera(p0), c1 = camera.toCamera(p1);
        const float dx = c0.x() - c1.x();
        const float dy = c0.y() - c1.y();
        const float spacing =
            static_cast<float>(static_cast<double>(std::sqrt(dx * dx + dy * dy)) / (std::sqrt(2.0) * 20.0));
        const float hx = (static_cast<float>(width) * spacing) * 0.5f;
        const float hy = (static_cast<float>(height) * spacing) * 0.5f;
        boundingBoxMin = QVector3D(-hx, -hy, 0.0f);
        boundingBoxMax = QVector3D(hx, hy, 0.0f);
    } else {
        centerOfMass = mean;
        boundingBoxMin = mean - halfExtent;
        boundingBoxMax = halfExtent + mean;
    }
    boundingBoxMin.setZ(mean.z() - halfExtent.z());
    boundingBoxMax.setZ(halfExtent.z() + mean.z());
    boundingBoxSize = boundingBoxMax - boundingBoxMin;
    keepFinite(*this);
}

void ScanFrameStore::resetStatistics() {
    const float hx = static_cast<float>(width * 0.5 * 0.5);
    const float hy = static_cast<float>(height * 0.5 * 0.5);
    boundingBoxMin = QVector3D(-hx, -hy, 600.0f);
    boundingBoxMax = QVector3D(hx, hy, 800.0f);
    boundingBoxSize = boundingBoxMax - boundingBoxMin;
    centerOfMass = QVector3D(0.0f, 0.0f, 700.0f);
}
