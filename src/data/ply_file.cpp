#include "data/ply_file.h"

#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "data/scan_frame_store.h"

#include <QSaveFile>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

// With the depth jumps left out of the mesh, a point whose every triangle was a jump goes with them;
// a point that never was a corner of a triangle stays, as it does without the rule. `marks` holds 0
// for a point of the surface and -1 otherwise; dropped points become -2, so that they still count as
// corners for the points after them (a run of stray pixels between two surfaces goes as a whole).
bool dropJumpOnlyPoints(const ScanFrameStore &store, const FrameMesh &mesh, int32_t *marks) {
    const int32_t n = store.pixelCount, w = store.width, h = store.height;
    const std::unique_ptr<uint8_t[]> used = tryAllocate<uint8_t>(n);
    if (!used)
        return false;
    std::memset(used.get(), 0, static_cast<size_t>(n));
    for (const uint32_t corner : mesh.indexData)
        used[corner] = 1;
    auto point = [&](int32_t x, int32_t y) {
        return x >= 0 && y >= 0 && x < w && y < h && marks[y * w + x] != -1;
    };
    for (int32_t i = 0; i < n; ++i) {
        if (marks[i] < 0 || used[i])
            continue;
        const int32_t x = i % w, y = i / w;
        // The six triangles of the grid a pixel can be a corner of, as the mesh builders make them.
        const bool corner =
            (point(x, y + 1) && point(x + 1, y + 1)) || (point(x + 1, y + 1) && point(x + 1, y)) ||
            (point(x, y - 1) && point(x + 1, y)) || (point(x - 1, y - 1) && point(x - 1, y)) ||
            (point(x - 1, y - 1) && point(x, y - 1)) || (point(x - 1, y) && point(x, y + 1));
        if (corner)
            marks[i] = -2;
    }
    return true;
}

} // namespace

bool writePlyFile(const QString &path, const ScanFrameStore &store, const FrameMesh &mesh, QString *error) {
    const int32_t n = store.pixelCount;
    // Known before the file is begun, so a frame too large for memory leaves no temporary behind.
    const std::unique_ptr<int32_t[]> remap = tryAllocate<int32_t>(n);
    if (!remap) {
        if (error)
            *error = outOfMemoryMessage(store.width, store.height);
        return false;
    }
    // A point that is not finite is no point of the surface: one would make most mesh tools see
    // an empty scene, their bounds turning NaN.
    for (int32_t i = 0; i < n; ++i) {
        const float *p = &store.xyz[3 * static_cast<size_t>(i)];
        remap[i] =
            store.mask[i] && std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) ? 0 : -1;
    }
    if (mesh.settings.hideDepthJumps && !dropJumpOnlyPoints(store, mesh, remap.get())) {
        if (error)
            *error = outOfMemoryMessage(store.width, store.height);
        return false;
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i)
        remap[i] = remap[i] < 0 ? -1 : kept++;
    const size_t faces = mesh.indexData.size() / 3;

    const QByteArray header = "ply\nformat binary_little_endian 1.0\ncomment Pelnor Viewer\nelement vertex " +
                              QByteArray::number(kept) +
                              "\nproperty float x\nproperty float y\nproperty float z\n"
                              "property float nx\nproperty float ny\nproperty float nz\n"
                              "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "element face " +
                              QByteArray::number(static_cast<qulonglong>(faces)) +
                              "\nproperty list uchar int vertex_indices\nend_header\n";

    QSaveFile file(path);
    // Atomic where a temporary file can be made beside the target; in a folder that refuses one,
    // a writable existing file is written in place rather than not at all.
    file.setDirectWriteFallback(true);
    bool written = file.open(QIODevice::WriteOnly) && file.write(header) == header.size();
    // Vertices and faces go out through one buffer of whole records, flushed when it fills.
    std::vector<char> chunk;
    chunk.reserve(1 << 20);
    auto flushIfFull = [&](bool last) {
        if (written && (last || chunk.size() + 64 > chunk.capacity())) {
            written = file.write(chunk.data(), static_cast<qint64>(chunk.size())) ==
                      static_cast<qint64>(chunk.size());
            chunk.clear();
        }
    };
    auto append = [&](const void *data, size_t bytes) {
        const char *c = static_cast<const char *>(data);
        chunk.insert(chunk.end(), c, c + bytes);
    };
    for (int32_t i = 0; i < n && written; ++i) {
        if (remap[i] < 0)
            continue;
        append(&store.xyz[3 * static_cast<size_t>(i)], 12);
        append(&mesh.vertexData[10 * static_cast<size_t>(i) + 3], 12);
        append(&store.rgbTexture[3 * static_cast<size_t>(i)], 3);
        flushIfFull(false);
    }
    const char three = 3;
    for (size_t f = 0; f < faces && written; ++f) {
        append(&three, 1);
        for (size_t k = 0; k < 3; ++k)
            append(&remap[mesh.indexData[3 * f + k]], 4);
        flushIfFull(false);
    }
    flushIfFull(true);
    written = written && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}
