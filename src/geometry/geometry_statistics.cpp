#include "data/scan_frame_store.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

bool isFinite(const QVector3D &p) {
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}

// Finite samples near the float limit can still sum to infinity; such a frame gets the defaults
// rather than a camera placed at infinity.
void keepFinite(ScanFrameStore &store) {
    if (!isFinite(store.centerOfMass) || !isFinite(store.boundingBoxMin) || !isFinite(store.boundingBoxMax) ||
        !isFinite(store.boundingBoxSize))
        store.resetStatistics();
}

} // namespace

// A mean and two standard deviations per axis over a grid of at most 255 x 255 valid samples.
// Coordinates are scaled by 1 / Ny^2 before summing to keep the single-precision sums of squares
// in range on large frames.
void ScanFrameStore::computeCoordinateStatistics() {
    if (width < 1 || height < 1) {
        resetStatistics();
        return;
    }
    const int ny = std::min(height, 128);
    const int nx = std::min(width, 128);
    const int stepY = height / ny;
    const int stepX = width / nx;
    const float nySquared = static_cast<float>(ny) * static_cast<float>(ny);
    const float k = 1.0f / nySquared;

    float sum[3] = {0.0f, 0.0f, 0.0f};
    float sumSquares[3] = {0.0f, 0.0f, 0.0f};
    int n = 0;
    for (int y = 0; y < height; y += stepY) {
        for (int x = 0; x < width; x += stepX) {
            const int64_t i = static_cast<int64_t>(y) * width + x;
            if (!mask[i])
                continue;
            const float *p = xyz.get() + 3 * i;
            // One non-finite sample would place the camera at NaN and show nothing.
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                continue;
            for (int a = 0; a < 3; ++a) {
                const float scaled = p[a] * k;
                sum[a] += scaled;
                sumSquares[a] += scaled * scaled;
            }
            ++n;
        }
    }
    if (n == 0) {
        resetStatistics();
        return;
    }
    const float count = static_cast<float>(n);
    for (int a = 0; a < 3; ++a) {
        const float mean = sum[a] / count;
        // Cancellation can leave a tiny negative variance for a flat axis.
        const float variance = std::max(0.0f, sumSquares[a] / count - mean * mean);
        const float deviation = std::sqrt(variance);
        centerOfMass[a] = (sum[a] * nySquared) / count;
        const float halfExtent = (deviation * 2.0f) * nySquared;
        boundingBoxMin[a] = centerOfMass[a] - halfExtent;
        boundingBoxMax[a] = halfExtent + centerOfMass[a];
    }
    boundingBoxSize = boundingBoxMax - boundingBoxMin;
    keepFinite(*this);
}

// The centre is the reconstructed image centre; the box is sized from the pixel spacing there.
void ScanFrameStore::computePhaseStatistics() {
    if (width < 1 || height < 1) {
        resetStatistics();
        return;
    }
    const QVector3D p0 = triangulateAveraged(static_cast<float>(width / 2), static_cast<float>(height / 2));
    const QVector3D p1 =
        triangulateAveraged(static_cast<float>(width / 2 + 20), static_cast<float>(height / 2 + 20));
    if (!isFinite(p0) || !isFinite(p1)) {
        resetStatistics();
        return;
    }
    centerOfMass = p0;
    qDebug().noquote() << "mass center" << centerOfMass;

    const float dx = p0.x() - p1.x();
    const float dy = p0.y() - p1.y();
    const float spacing =
        static_cast<float>(static_cast<double>(std::sqrt(dx * dx + dy * dy)) / (std::sqrt(2.0) * 20.0));
    const float hx = (static_cast<float>(width) * spacing) * 0.5f;
    const float hy = (static_cast<float>(height) * spacing) * 0.5f;
    boundingBoxMin = QVector3D(-hx, -hy, p0.z() - 100.0f);
    boundingBoxMax = QVector3D(hx, hy, p0.z() + 100.0f);
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
