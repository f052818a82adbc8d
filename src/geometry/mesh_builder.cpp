#include "data/scan_frame_store.h"

#include <array>
#include <cmath>

namespace {

// Texture byte to colour, as the byte divided by 255.0.
const std::array<float, 256> &byteToColor() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[b] = static_cast<float>(b / 255.0);
        return t;
    }();
    return table;
}

bool isFinite(const float *p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// Sizes the arrays for the frame without clearing them: every float and every index up to the
// final count is written by the build.
void prepareArrays(ScanFrameStore &store) {
    const size_t w = static_cast<size_t>(store.width);
    const size_t h = static_cast<size_t>(store.height);
    store.vertexData.resize(w * h * 10);
    store.indexData.resize(w > 1 && h > 1 ? 6 * (w - 1) * (h - 1) : 0);
    store.validCoordinateCount = 0;
}

// The two triangles of the grid cell whose top-left pixel is i, each only where all three corners
// hold a measurement. Both share the diagonal from i to d.
inline uint32_t *appendCellTriangles(uint32_t *out, const uint8_t *mask, uint32_t i, uint32_t w) {
    const uint32_t r = i + w, d = i + w + 1, t = i + 1;
    if (mask[i] && mask[d]) {
        if (mask[r]) {
            out[0] = i, out[1] = r, out[2] = d;
            out += 3;
        }
        if (mask[t]) {
            out[0] = i, out[1] = d, out[2] = t;
            out += 3;
        }
    }
    return out;
}

} // namespace

void ScanFrameStore::buildCoordinateMesh() {
    pixelCount = width * height;
    computeCoordinateStatistics();
    if (height < 1 || width < 1) {
        vertexData.clear();
        indexData.clear();
        validCoordinateCount = 0;
        return;
    }
    prepareArrays(*this);
    const auto &color = byteToColor();
    const uint32_t w = static_cast<uint32_t>(width);
    float *vertex = vertexData.data();
    uint32_t *out = indexData.data();
    int32_t valid = 0;
    for (int y = 0; y < height; ++y) {
        const bool interiorRow = y < height - 1;
        for (int x = 0; x < width; ++x, vertex += 10) {
            const uint32_t i = static_cast<uint32_t>(y) * w + static_cast<uint32_t>(x);
            const float *p = xyz.get() + 3 * static_cast<size_t>(i);
            QVector3D normal;
            float validity = 0.0f;
            if (interiorRow && x < width - 1) {
                out = appendCellTriangles(out, mask.get(), i, w);
                const uint32_t r = i + w, d = i + w + 1;
                const float *pr = xyz.get() + 3 * static_cast<size_t>(r);
                const float *pd = xyz.get() + 3 * static_cast<size_t>(d);
                // A non-finite corner gives no direction; leave it without a normal.
                if (mask[i] && mask[r] && mask[d] && isFinite(p) && isFinite(pr) && isFinite(pd)) {
                    const QVector3D pi(p[0], p[1], p[2]);
                    normal = QVector3D::crossProduct(QVector3D(pr[0], pr[1], pr[2]) - pi,
                                                     QVector3D(pd[0], pd[1], pd[2]) - pi);
                    normal.normalize();
                    validity = 1.0f;
                    ++valid;
                }
            }
            const uint8_t *rgb = rgbTexture.get() + 3 * static_cast<size_t>(i);
            vertex[0] = p[0];
            vertex[1] = p[1];
            vertex[2] = p[2];
            vertex[3] = normal.x();
            vertex[4] = normal.y();
            vertex[5] = normal.z();
            vertex[6] = color[rgb[0]];
            vertex[7] = color[rgb[1]];
            vertex[8] = color[rgb[2]];
            vertex[9] = validity;
        }
    }
    indexData.resize(static_cast<size_t>(out - indexData.data()));
    validCoordinateCount = valid;
}

// Positions stay in image space (column, row, phase); the vertex program triangulates them and
// takes the normal from the phases of the pixels below and below-right, carried in a_normal.
void ScanFrameStore::buildPhaseMesh() {
    pixelCount = width * height;
    if (height < 1 || width < 1) {
        vertexData.clear();
        indexData.clear();
        validCoordinateCount = 0;
        return;
    }
    prepareArrays(*this);
    const auto &color = byteToColor();
    const uint32_t w = static_cast<uint32_t>(width);
    float *vertex = vertexData.data();
    uint32_t *out = indexData.data();
    for (int y = 0; y < height; ++y) {
        const bool interiorRow = y < height - 1;
        for (int x = 0; x < width; ++x, vertex += 10) {
            const uint32_t i = static_cast<uint32_t>(y) * w + static_cast<uint32_t>(x);
            float below = 0.0f, belowRight = 0.0f, validity = 0.0f;
            if (interiorRow && x < width - 1) {
                out = appendCellTriangles(out, mask.get(), i, w);
                below = phase[i + w];
                belowRight = phase[i + w + 1];
                validity = 1.0f;
            }
            const uint8_t *rgb = rgbTexture.get() + 3 * static_cast<size_t>(i);
            vertex[0] = static_cast<float>(x);
            vertex[1] = static_cast<float>(y);
            vertex[2] = phase[i];
            vertex[3] = below;
            vertex[4] = belowRight;
            vertex[5] = 0.0f;
            vertex[6] = color[rgb[0]];
            vertex[7] = color[rgb[1]];
            vertex[8] = color[rgb[2]];
            vertex[9] = validity;
        }
    }
    indexData.resize(static_cast<size_t>(out - indexData.data()));
    validCoordinateCount = (width - 1) * (height - 1);
}
