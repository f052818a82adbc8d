#include "data/frame_mesh.h"

#include "data/finite_points.h"
#include "data/scan_frame_store.h"
#include "geometry/depth_jumps.h"
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

// The vertex colour: the texture's, or the pixel's value in the first channel for the colourings
// that colour by a value.
inline void writeColour(float *out, uint32_t i, const uint8_t *rgb, const float *values,
                        const std::array<float, 256> &color) {
    if (values) {
        out[6] = values[i], out[7] = 0.0f, out[8] = 0.0f;
        return;
    }
    const uint8_t *c = rgb + 3 * static_cast<size_t>(i);
    out[6] = color[c[0]], out[7] = color[c[1]], out[8] = color[c[2]];
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

// Builds the rows of every band in parallel over the samples of every stride-th row and column.
// Per sample the triangles of the grid cell it starts (interior samples only) are appended and
// `vertex` writes its ten floats; `usable` says whether a pixel can be a triangle corner, and the
// rule, where enabled, leaves out the triangles it calls depth jumps.
template <typename Usable, typename Vertex>
void buildRows(const ScanFrameStore &store, FrameMesh &mesh, Usable usable, const DepthJumpRule &rule,
               Vertex vertex) {
    const int stride = mesh.settings.stride;
    const size_t w = static_cast<size_t>(store.width), s = static_cast<size_t>(stride);
    const size_t columns = (w - 1) / s + 1;
    const int rows = (store.height - 1) / stride + 1;
    const size_t slotsPerRow = columns > 1 ? 6 * (columns - 1) : 0;
    try {
        mesh.vertexData.resize(columns * static_cast<size_t>(rows) * 10);
        mesh.indexData.resize(rows > 1 ? slotsPerRow * static_cast<size_t>(rows - 1) : 0);
    } catch (const std::bad_alloc &) {
        // No half-sized arrays survive to be drawn; the memory goes back at once.
        decltype(mesh.vertexData)().swap(mesh.vertexData);
        decltype(mesh.indexData)().swap(mesh.indexData);
        throw;
    }
    Bands bands;
    RowPool::instance().forRows(rows, [&](int first, int end) {
        // The rule's points of the two rows of samples around a row of cells, and its verdicts on
        // the cells; kept by each thread from frame to frame.
        thread_local RowPoints above, below;
        thread_local std::vector<uint8_t> verdicts;
        if (rule.enabled()) {
            verdicts.resize(columns);
            rule.rowPoints(first, below);
        }
        float *out = mesh.vertexData.data() + 10 * columns * static_cast<size_t>(first);
        uint32_t *const bandStart = mesh.indexData.data() + slotsPerRow * static_cast<size_t>(first);
        uint32_t *triangles = bandStart;
        for (int row = first; row < end; ++row) {
            const bool interiorRow = row < rows - 1;
            const uint8_t *jumps = nullptr;
            if (rule.enabled() && interiorRow) {
                std::swap(above, below);
                rule.rowPoints(row + 1, below);
                rule.markJumps(above, below, static_cast<int>(columns), verdicts.data());
                jumps = verdicts.data();
            }
            const size_t y = static_cast<size_t>(row) * s;
            for (size_t column = 0; column < columns; ++column, out += 10) {
                // Pixel numbers address the frame, vertex numbers the samples.
                const uint32_t i = static_cast<uint32_t>(y * w + column * s);
                const uint32_t n = static_cast<uint32_t>(static_cast<size_t>(row) * columns + column);
                const bool interior = interiorRow && column + 1 < columns;
                if (interior) {
                    // The two triangles of the cell share its diagonal from i to d.
                    const uint32_t r = i + static_cast<uint32_t>(s * w), d = r + stride, t = i + stride;
                    const uint32_t nr = n + static_cast<uint32_t>(columns), nd = nr + 1, nt = n + 1;
                    const uint8_t jump = jumps ? jumps[column] : 0;
                    if (usable(i) && usable(d)) {
                        if (usable(r) && !(jump & 1)) {
                            triangles[0] = n, triangles[1] = nr, triangles[2] = nd;
                            triangles += 3;
                        }
                        if (usable(t) && !(jump & 2)) {
                            triangles[0] = n, triangles[1] = nd, triangles[2] = nt;
                            triangles += 3;
                        }
                    }
                }
                vertex(out, i, column * s, static_cast<int>(y), interior);
            }
        }
        bands.record(first, static_cast<size_t>(triangles - bandStart));
    });
    mesh.indexData.resize(bands.closeUp(mesh.indexData.data(), slotsPerRow));
}

// The depth-jump rule the settings ask for, or none.
DepthJumpRule jumpRule(const ScanFrameStore &store, const MeshSettings &settings) {
    return settings.hideDepthJumps ? DepthJumpRule(store, settings.depthJumpFactor, settings.stride)
                                   : DepthJumpRule();
}

// A frame of no pixels has an empty mesh.
bool startMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh) {
    mesh.settings = settings;
    mesh.settings.stride = std::max(1, settings.stride);
    if (frame.height >= 1 && frame.width >= 1)
        return true;
    mesh.clear();
    return false;
}

} // namespace

void buildCoordinateMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh) {
    if (!startMesh(frame, settings, mesh))
        return;
    const uint32_t stride = static_cast<uint32_t>(mesh.settings.stride);
    const auto &color = byteToColor();
    const uint8_t *m = frame.mask.get();
    const float *p = frame.xyz.get();
    const uint8_t *rgb = frame.rgbTexture.get();
    const uint32_t below = static_cast<uint32_t>(frame.width) * stride;
    const float *values = mesh.settings.pixelValues;
    // A point that is not finite is no corner: it has no place on the surface.
    auto usable = [m, p, values](uint32_t i) {
        return m[i] && isFinite(p + 3 * static_cast<size_t>(i)) && (!values || std::isfinite(values[i]));
    };
    buildRows(frame, mesh, usable, jumpRule(frame, mesh.settings),
              [&](float *out, uint32_t i, size_t, int, bool interior) {
                  const float *pi = p + 3 * static_cast<size_t>(i);
                  QVector3D normal;
                  float validity = 0.0f;
                  if (interior && usable(i) && usable(i + below) && usable(i + below + stride)) {
                      const float *pr = p + 3 * static_cast<size_t>(i + below);
                      const float *pd = p + 3 * static_cast<size_t>(i + below + stride);
                      const QVector3D origin(pi[0], pi[1], pi[2]);
                      normal = QVector3D::crossProduct(QVector3D(pr[0], pr[1], pr[2]) - origin,
                                                       QVector3D(pd[0], pd[1], pd[2]) - origin);
                      normal.normalize();
                      validity = 1.0f;
                  }
                  out[0] = pi[0], out[1] = pi[1], out[2] = pi[2];
                  out[3] = normal.x(), out[4] = normal.y(), out[5] = normal.z();
                  writeColour(out, i, rgb, values, color);
                  out[9] = validity;
              });
}

// Positions stay in image space (column, row, phase); the vertex program triangulates them and
// takes the normal from the phases of the samples below and below-right, carried in a_normal.
void buildPhaseMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh) {
    if (!startMesh(frame, settings, mesh))
        return;
    const uint32_t stride = static_cast<uint32_t>(mesh.settings.stride);
    const auto &color = byteToColor();
    const uint8_t *m = frame.mask.get();
    const float *ph = frame.phase.get();
    const uint8_t *rgb = frame.rgbTexture.get();
    const uint32_t below = static_cast<uint32_t>(frame.width) * stride;
    const float *values = mesh.settings.pixelValues;
    auto usable = [m, ph, values](uint32_t i) {
        return m[i] && std::isfinite(ph[i]) && (!values || std::isfinite(values[i]));
    };
    buildRows(frame, mesh, usable, jumpRule(frame, mesh.settings),
              [&](float *out, uint32_t i, size_t x, int y, bool interior) {
                  float belowPhase = 0.0f, belowRight = 0.0f, validity = 0.0f;
                  if (interior) {
                      belowPhase = ph[i + below];
                      belowRight = ph[i + below + stride];
                      // A phase that is not finite would give the vertex program no point to draw.
                      validity = std::isfinite(ph[i]) && std::isfinite(belowPhase) &&
                                         std::isfinite(belowRight) && (!values || std::isfinite(values[i]))
                                     ? 1.0f
                                     : 0.0f;
                  }
                  out[0] = static_cast<float>(x), out[1] = static_cast<float>(y), out[2] = ph[i];
                  out[3] = belowPhase, out[4] = belowRight, out[5] = 0.0f;
                  writeColour(out, i, rgb, values, color);
                  out[9] = validity;
              });
}

void buildMesh(const ScanFrameStore &frame, const MeshSettings &settings, FrameMesh &mesh) {
    if (frame.frameKind == XyzmFrame)
        buildCoordinateMesh(frame, settings, mesh);
    else
        buildPhaseMesh(frame, settings, mesh);
}
