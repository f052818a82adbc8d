#include "data/scan_frame_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>

QMatrix3x3 ScanFrameStore::inverse3x3(const QMatrix3x3 &e) {
    const float c00 = e(1, 1) * e(2, 2) - e(2, 1) * e(1, 2);
    const float c01 = e(2, 0) * e(1, 2) - e(1, 0) * e(2, 2);
    const float c02 = e(1, 0) * e(2, 1) - e(2, 0) * e(1, 1);
    const float det = (e(0, 1) * c01 + e(0, 0) * c00) + e(0, 2) * c02;
    QMatrix3x3 r;
    r(0, 0) = c00 / det;
    r(1, 0) = c01 / det;
    r(2, 0) = c02 / det;
    r(0, 1) = (e(0, 2) * e(2, 1) - e(0, 1) * e(2, 2)) / det;
    r(1, 1) = (e(0, 0) * e(2, 2) - e(0, 2) * e(2, 0)) / det;
    r(2, 1) = (e(0, 1) * e(2, 0) - e(0, 0) * e(2, 1)) / det;
    r(0, 2) = (e(0, 1) * e(1, 2) - e(0, 2) * e(1, 1)) / det;
    r(1, 2) = (e(0, 2) * e(1, 0) - e(0, 0) * e(1, 2)) / det;
    r(2, 2) = (e(0, 0) * e(1, 1) - e(0, 1) * e(1, 0)) / det;
    return r;
}

// Intersects the camera ray through (u, v) with the projector plane of the line the phase names:
// each row of E is one projection equation multiplied out.
QVector3D ScanFrameStore::phaseToCoordinate(float u, float v, float phi) const {
    QMatrix3x3 e;
    for (int k = 0; k < 3; ++k) {
        e(0, k) = u * m_Ac(2, k) - m_Ac(0, k);
        e(1, k) = v * m_Ac(2, k) - m_Ac(1, k);
        e(2, k) = phi * m_Ap(2, k) - m_Ap(1, k);
    }
    const float b[3] = {m_Tc[0] - u * m_Tc[2], m_Tc[1] - v * m_Tc[2], m_Tp[1] - phi * m_Tp[2]};
    const QMatrix3x3 r = inverse3x3(e);
    QVector3D point;
    for (int i = 0; i < 3; ++i) {
        float sum = 0.0f;
        sum += r(i, 0) * b[0];
        sum += r(i, 1) * b[1];
        sum += r(i, 2) * b[2];
        point[i] = sum;
    }
    return point;
}

// The z of phaseToCoordinate, by the same operations in the same order, without the x and y.
float ScanFrameStore::phaseToDepth(float u, float v, float phi) const {
    float e[3][3];
    for (int k = 0; k < 3; ++k) {
        e[0][k] = u * m_Ac(2, k) - m_Ac(0, k);
        e[1][k] = v * m_Ac(2, k) - m_Ac(1, k);
        e[2][k] = phi * m_Ap(2, k) - m_Ap(1, k);
    }
    const float b[3] = {m_Tc[0] - u * m_Tc[2], m_Tc[1] - v * m_Tc[2], m_Tp[1] - phi * m_Tp[2]};
    const float c00 = e[1][1] * e[2][2] - e[2][1] * e[1][2];
    const float c01 = e[2][0] * e[1][2] - e[1][0] * e[2][2];
    const float c02 = e[1][0] * e[2][1] - e[2][0] * e[1][1];
    const float det = (e[0][1] * c01 + e[0][0] * c00) + e[0][2] * c02;
    const float r0 = c02 / det;
    const float r1 = (e[0][1] * e[2][0] - e[0][0] * e[2][1]) / det;
    const float r2 = (e[0][0] * e[1][1] - e[0][1] * e[1][0]) / det;
    float sum = 0.0f;
    sum += r0 * b[0];
    sum += r1 * b[1];
    sum += r2 * b[2];
    return sum;
}

QVector3D ScanFrameStore::triangulateAveraged(float u, float v) const {
    float sum = 0.0f;
    int count = 0;
    // Two pixels before the point and one after it in each direction, clipped to the frame.
    for (int row = std::max(0, static_cast<int>(v - 2.0f));
         static_cast<float>(row) < v + 2.0f && row < height; ++row) {
        for (int col = std::max(0, static_cast<int>(u - 2.0f));
             static_cast<float>(col) < u + 2.0f && col < width; ++col) {
            const int64_t i = static_cast<int64_t>(row) * width + col;
            // A non-finite phase would make the whole window's point NaN.
            if (mask[i] && std::isfinite(phase[i])) {
                sum += phase[i];
                ++count;
            }
        }
    }
    if (count == 0)
        return QVector3D(NAN, NAN, NAN);
    return phaseToCoordinate(u, v, sum / static_cast<float>(count));
}

void ScanFrameStore::computeCoordinatesFromPhase() {
    if (!xyz)
        xyz.reset(new float[3 * static_cast<size_t>(pixelCount)]);
    std::memset(xyz.get(), 0, sizeof(float) * 3 * static_cast<size_t>(pixelCount));
    for (int y = 0; y < height; ++y) {
        const int64_t rowStart = static_cast<int64_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const int64_t i = rowStart + x;
            if (!mask[i])
                continue;
            const QVector3D p = phaseToCoordinate(static_cast<float>(x), static_cast<float>(y), phase[i]);
            xyz[3 * i] = p.x();
            xyz[3 * i + 1] = p.y();
            xyz[3 * i + 2] = p.z();
        }
    }
}
