#pragma once

// What the fuzz targets add to the shared test helpers: a failed check that stops the run where
// libFuzzer sees it, the input as a file the readers can open, and the checks that a refused file
// left the shown frame alone and that an accepted one gave a frame the view can draw.

#include "data/frame_mesh.h"
#include "test_support.h"

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
    static const QString path = [ending] {
        const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return QString::fromLocal8Bit(QByteArray(folder) + "/pelnor-fuzz-" +
                                      QByteArray::number(static_cast<qint64>(getpid())) + "." + ending);
    }();
    writeAll(path, QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    return path;
}

// The shown frame down to where its buffers live.
inline QByteArray snapshot(const ScanFrameStore &store) {
    return bufferAddresses(store) + storeSnapshot(store);
}

// A refused file comes with a reason and leaves the shown frame whole.
inline void requireRefusedCleanly(const ScanFrameStore &store, const QByteArray &before,
                                  const QString &error) {
    require(!error.isEmpty(), "a refused file gave no reason");
    require(snapshot(store) == before, "a refused file changed the store");
}

// Builds the mesh the view draws of the frame (or, with `coordinates`, the coordinate mesh a PLY
// export builds of a triangulated frame) and checks that it can be drawn.
inline void requireDrawableFrame(const ScanFrameStore &store, bool coordinates = false) {
    FrameMesh mesh;
    coordinates ? buildCoordinateMesh(store, MeshSettings(), mesh) : buildMesh(store, MeshSettings(), mesh);
    if (const char *fault = drawableFrameFault(store, mesh))
        fail(fault);
}

} // namespace fuzz
