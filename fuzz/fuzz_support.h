#pragma once

// What the fuzz targets share: the input as a file the readers can open, a store that begins every
// run holding the same small frame, and the checks that a refused file left that frame alone and
// that an accepted one gave a frame the view can draw.

#include "data/file_info_rows.h"
#include "data/scan_frame_store.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace fuzz {

[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char *what) {
    if (!holds)
        fail(what);
}

// The debug lines of the statistics would flood the fuzzer's output and slow every run.
inline void silenceQtMessages() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// Writes the input to this process's own scratch file, in memory where /dev/shm exists.
inline QString writeInput(const uint8_t *data, size_t size, const char *ending) {
    static const QByteArray path = [ending] {
        const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return QByteArray(folder) + "/pelnor-fuzz-" + QByteArray::number(static_cast<qint64>(getpid())) +
               "." + ending;
    }();
    std::FILE *file = std::fopen(path.constData(), "wb");
    require(file != nullptr, "cannot create the scratch file");
    require(size == 0 || std::fwrite(data, 1, size, file) == size, "cannot write the scratch file");
    require(std::fclose(file) == 0, "cannot close the scratch file");
    return QString::fromLocal8Bit(path);
}

// The frame the viewer showed before the file was opened: 4 x 3, every pixel measured.
inline void resetStore(ScanFrameStore &store) {
    store.releaseFrameBuffers();
    store.frameKind = XyzmFrame;
    store.colorTexture = 0;
    store.mosaicCode = 1;
    store.width = 4;
    store.height = 3;
    store.pixelCount = 12;
    store.allocateFrameBuffers();
    for (int i = 0; i < store.pixelCount; ++i) {
        store.xyz[3 * i] = static_cast<float>(i % 4);
        store.xyz[3 * i + 1] = static_cast<float>(i / 4);
        store.xyz[3 * i + 2] = 700.0f;
        store.phase[i] = static_cast<float>(i);
        store.rgbTexture[3 * i] = store.rgbTexture[3 * i + 1] = store.rgbTexture[3 * i + 2] = 128;
        store.monoTexture[i] = 128;
        store.mask[i] = 1;
    }
    store.buildCoordinateMesh();
}

// Everything a failed load must leave as it was, buffer addresses included.
inline QByteArray storeSnapshot(const ScanFrameStore &store) {
    QByteArray s;
    auto add = [&s](const void *data, size_t bytes) {
        s.append(static_cast<const char *>(data), int(bytes));
    };
    const void *buffers[] = {store.xyz.get(), store.phase.get(), store.rgbTexture.get(),
                             store.monoTexture.get(), store.mask.get()};
    add(buffers, sizeof buffers);
    add(&store.width, 4);
    add(&store.height, 4);
    add(&store.pixelCount, 4);
    add(&store.frameKind, 4);
    add(&store.colorTexture, 1);
    add(&store.mosaicCode, 4);
    add(&store.validCoordinateCount, 4);
    add(store.cameraProjection, sizeof store.cameraProjection);
    add(store.projectorProjection, sizeof store.projectorProjection);
    const size_t n = static_cast<size_t>(store.pixelCount);
    add(store.xyz.get(), 12 * n);
    add(store.phase.get(), 4 * n);
    add(store.rgbTexture.get(), 3 * n);
    add(store.monoTexture.get(), n);
    add(store.mask.get(), n);
    add(store.vertexData.data(), 4 * store.vertexData.size());
    add(store.indexData.data(), 4 * store.indexData.size());
    return s;
}

// A refused file comes with a reason and leaves the shown frame whole.
inline void requireRefusedCleanly(const ScanFrameStore &store, const QByteArray &before,
                                  const QString &error) {
    require(!error.isEmpty(), "a refused file gave no reason");
    require(storeSnapshot(store) == before, "a refused file changed the store");
}

// An accepted frame has a size, its buffers, and mesh arrays that stay inside it.
inline void requireDrawableFrame(const ScanFrameStore &store) {
    require(store.width >= 1 && store.height >= 1, "frame without size accepted");
    require(static_cast<int64_t>(store.width) * store.height == store.pixelCount, "pixel count off");
    require(store.xyz && store.rgbTexture && store.mask, "frame buffer missing");
    require(store.vertexData.size() == 10 * static_cast<size_t>(store.pixelCount), "vertex array size off");
    require(store.indexData.size() % 3 == 0, "index array holds a partial triangle");
    for (uint32_t index : store.indexData)
        require(index < static_cast<uint32_t>(store.pixelCount), "triangle index outside the frame");
    require(store.validCoordinateCount >= 0 && store.validCoordinateCount <= store.pixelCount,
            "valid coordinate count outside the frame");
    require(fileInfoRows(store).size() == 10, "file information table is not ten rows");
}

} // namespace fuzz
