#include "data/scan_frame_store.h"
#include "support/row_pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

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

// Where the bands of one build left their triangles: each band writes from the index slot of its
// first row on, and the bands are then closed up in row order.
struct Bands {
    std::array<std::pair<int, size_t>, 64> firstRowAndCount;
    std::atomic<int> used{0};

    void record(int firstRow, size_t count) {
        firstRowAndCount[static_cast<size_t>(used++)] = {firstRow, count};
    }

    // Moves the triangles of every band to follow those of the band before; returns the total.
    size_t closeUp(uint32_t *indices, size_t slotsPerRow) {
        const auto begin = firstRowAndCount.begin(), end = begin + used.load();
        std::sort(begin, end);
        size_t total = 0;
        for (auto it = begin; it != end; ++it) {
            if (it->second == 0)
                continue;
            std::memmove(indices + total, indices + slotsPerRow * static_cast<size_t>(it->first),
                         it->second * sizeof(uint32_t));
            total += it->second;
        }
        return total;
    }
};

// Builds the rows of every band in parallel. Per pixel, `cell` appends the triangles of the grid
// cell the pixel starts (interior pixels only) and `vertex` writes its ten floats; `usable` says
// whether a pixel can be a triangle corner.
template <typename Usable, typename Vertex>
void buildRows(ScanFrameStore &store, Usable usable, Vertex vertex) {
    const size_t w = static_cast<size_t>(store.width);
    const int height = store.height;
    const size_t slotsPerRow = w > 1 ? 6 * (w - 1) : 0;
    try {
        store.vertexData.resize(w * static_cast<size_t>(height) * 10);
        store.indexData.resize(height > 1 ? slotsPerRow * static_cast<size_t>(height - 1) : 0);
    } catch (const std::bad_alloc &) {
        // No half-sized arrays survive to be drawn; the memory goes back at once.
        decltype(store.vertexData)().swap(store.vertexData);
        decltype(store.indexData)().swap(store.indexData);
        store.validCoordinateCount = 0;
        throw;
    }
    Bands bands;
    std::atomic<int32_t> valid{0};
    RowPool::instance().forRows(height, [&](int first, int end) {
        float *out = store.vertexData.data() + 10 * w * static_cast<size_t>(first);
        uint32_t *const bandStart = store.indexData.data() + slotsPerRow * static_cast<size_t>(first);
        uint32_t *triangles = bandStart;
        int32_t bandValid = 0;
        for (int y = first; y < end; ++y) {
            const bool interiorRow = y < height - 1;
            for (size_t x = 0; x < w; ++x, out += 10) {
                const uint32_t i = static_cast<uint32_t>(static_cast<size_t>(y) * w + x);
                const bool interior = interiorRow && x + 1 < w;
                if (interior) {
                    // The two triangles of the cell share its diagonal from i to d.
                    const uint32_t r = i + static_cast<uint32_t>(w), d = r + 1, t = i + 1;
                    if (usable(i) && usable(d)) {
                        if (usable(r)) {
                            triangles[0] = i, triangles[1] = r, triangles[2] = d;
                            triangles += 3;
                        }
                        if (usable(t)) {
                            triangles[0] = i, triangles[1] = d, triangles[2] = t;
                            triangles += 3;
                        }
                    }
                }
                bandValid += vertex(out, i, x, y, interior);
            }
        }
        bands.record(first, static_cast<size_t>(triangles - bandStart));
        valid += bandValid;
    });
    store.indexData.resize(bands.closeUp(store.indexData.data(), slotsPerRow));
    store.validCoordinateCount = valid;
}

} // namespace

void ScanFrameStore::buildCoordinateMesh() {
    pixelCount = width * height;
    computeCoordinateStatistics();
    validCoordinateCount = 0;
    if (height < 1 || width < 1) {
        vertexData.clear();
        indexData.clear();
        return;
    }
    const auto &color = byteToColor();
    const uint8_t *m = mask.get();
    const float *p = xyz.get();
    const uint8_t *rgb = rgbTexture.get();
    const uint32_t w = static_cast<uint32_t>(width);
    // A point that is not finite is no corner: it has no place on the surface.
    auto usable = [m, p](uint32_t i) { return m[i] && isFinite(p + 3 * static_cast<size_t>(i)); };
    buildRows(*this, usable, [&](float *out, uint32_t i, size_t, int, bool interior) {
        const float *pi = p + 3 * static_cast<size_t>(i);
        QVector3D normal;
        float validity = 0.0f;
        if (interior && usable(i) && usable(i + w) && usable(i + w + 1)) {
            const float *pr = p + 3 * static_cast<size_t>(i + w);
            const float *pd = pr + 3;
            const QVector3D origin(pi[0], pi[1], pi[2]);
            normal = QVector3D::crossProduct(QVector3D(pr[0], pr[1], pr[2]) - origin,
                                             QVector3D(pd[0], pd[1], pd[2]) - origin);
            normal.normalize();
            validity = 1.0f;
        }
        const uint8_t *c = rgb + 3 * static_cast<size_t>(i);
        out[0] = pi[0], out[1] = pi[1], out[2] = pi[2];
        out[3] = normal.x(), out[4] = normal.y(), out[5] = normal.z();
        out[6] = color[c[0]], out[7] = color[c[1]], out[8] = color[c[2]];
        out[9] = validity;
        return validity != 0.0f;
    });
}

// Positions stay in image space (column, row, phase); the vertex program triangulates them and
// takes the normal from the phases of the pixels below and below-right, carried in a_normal.
void ScanFrameStore::buildPhaseMesh() {
    pixelCount = width * height;
    validCoordinateCount = 0;
    if (height < 1 || width < 1) {
        vertexData.clear();
        indexData.clear();
        return;
    }
    const auto &color = byteToColor();
    const uint8_t *m = mask.get();
    const float *ph = phase.get();
    const uint8_t *rgb = rgbTexture.get();
    const uint32_t w = static_cast<uint32_t>(width);
    auto usable = [m, ph](uint32_t i) { return m[i] && std::isfinite(ph[i]); };
    buildRows(*this, usable, [&](float *out, uint32_t i, size_t x, int y, bool interior) {
        float below = 0.0f, belowRight = 0.0f, validity = 0.0f;
        if (interior) {
            below = ph[i + w];
            belowRight = ph[i + w + 1];
            // A phase that is not finite would give the vertex program no point to draw.
            validity =
                std::isfinite(ph[i]) && std::isfinite(below) && std::isfinite(belowRight) ? 1.0f : 0.0f;
        }
        const uint8_t *c = rgb + 3 * static_cast<size_t>(i);
        out[0] = static_cast<float>(x), out[1] = static_cast<float>(y), out[2] = ph[i];
        out[3] = below, out[4] = belowRight, out[5] = 0.0f;
        out[6] = color[c[0]], out[7] = color[c[1]], out[8] = color[c[2]];
        out[9] = validity;
        return validity != 0.0f;
    });
}
