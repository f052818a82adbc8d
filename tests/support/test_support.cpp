#include "test_support.h"

#include "data/frame_mesh.h"
#include "geometry/file_info_rows.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

QByteArray readAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
}

void resizeStore(ScanFrameStore &store, int width, int height) {
    store.releaseFrameBuffers();
    store.width = width, store.height = height, store.pixelCount = width * height;
    store.allocateFrameBuffers();
    std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(1));
    std::fill(store.rgbTexture.get(), store.rgbTexture.get() + 3 * store.pixelCount, uint8_t(0));
}

void setSimpleCalibration(ScanFrameStore &store) {
    const double camera[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double projector[12] = {1, 0, 0, 0, 0, 1, 0, -100, 0, 0, 1, 0};
    store.setCameraProjection(camera);
    store.setProjectorProjection(projector);
}

void moveCapture(SyntheticCapture &capture, const QMatrix4x4 &move) {
    for (size_t i = 0; i < capture.measured.size(); ++i)
        if (capture.measured[i]) {
            float *p = &capture.xyz[3 * i];
            const QVector3D moved = move.map(QVector3D(p[0], p[1], p[2]));
            p[0] = moved.x(), p[1] = moved.y(), p[2] = moved.z();
        }
    // A projection P of the old coordinates is P move^-1 of the new.
    const QMatrix4x4 back = move.inverted();
    for (double *projection :
         {capture.calibration.cameraProjection, capture.calibration.projectorProjection}) {
        double moved[12] = {};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                for (int k = 0; k < 4; ++k)
                    moved[4 * r + c] += projection[4 * r + k] * double(back(k, c));
        std::copy(moved, moved + 12, projection);
    }
}

void showSmallFrame(ScanFrameStore &store) {
    resizeStore(store, 4, 3);
    store.frameKind = XyzmFrame, store.colorTexture = 0, store.mosaicCode = 1;
    setSimpleCalibration(store);
    for (int i = 0; i < store.pixelCount; ++i) {
        store.xyz[3 * i] = float(i % 4), store.xyz[3 * i + 1] = float(i / 4), store.xyz[3 * i + 2] = 700.0f;
        store.phase[i] = float(i);
        std::fill(&store.rgbTexture[3 * i], &store.rgbTexture[3 * i] + 3, uint8_t(128));
        store.monoTexture[i] = uint8_t(i + 1);
    }
    store.computeCoordinateStatistics();
}

QByteArray storeSnapshot(const ScanFrameStore &store) {
    auto raw = [](const void *data, size_t bytes) {
        return QByteArray(static_cast<const char *>(data), int(bytes));
    };
    auto of = [&raw](const auto &value) { return raw(&value, sizeof value); };
    const size_t n = size_t(store.pixelCount);
    return of(store.width) + of(store.height) + of(store.pixelCount) + of(store.frameKind) +
           of(store.colorTexture) + of(store.mosaicCode) + of(store.cameraProjection) +
           of(store.projectorProjection) + raw(store.m_Ac.constData(), 36) + of(store.boundingBoxMin) +
           of(store.centerOfMass) + raw(store.xyz.get(), 12 * n) + raw(store.phase.get(), 4 * n) +
           raw(store.rgbTexture.get(), 3 * n) + raw(store.monoTexture.get(), n) + raw(store.mask.get(), n);
}

QByteArray bufferAddresses(const ScanFrameStore &store) {
    const void *buffers[] = {store.xyz.get(), store.phase.get(), store.rgbTexture.get(),
                             store.monoTexture.get(), store.mask.get()};
    return QByteArray(reinterpret_cast<const char *>(buffers), int(sizeof buffers));
}

const char *drawableFrameFault(const ScanFrameStore &store, const FrameMesh &mesh) {
    if (store.width < 1 || store.height < 1 || int64_t(store.width) * store.height != store.pixelCount)
        return "frame size off";
    if ((!store.xyz && store.frameKind == XyzmFrame) || (!store.phase && store.frameKind != XyzmFrame) ||
        !store.rgbTexture || !store.mask)
        return "frame buffer missing";
    // Every stride-th row and column is a sample.
    const int stride = std::max(1, int(mesh.settings.stride));
    const size_t samples = size_t((store.width - 1) / stride + 1) * size_t((store.height - 1) / stride + 1);
    if (mesh.vertexData.size() != 10 * samples || mesh.indexData.size() % 3 != 0)
        return "mesh array sizes off";
    if (std::any_of(mesh.indexData.begin(), mesh.indexData.end(),
                    [samples](uint32_t i) { return i >= samples; }))
        return "triangle index outside the frame";
    for (const QVector3D &p : {store.centerOfMass, store.boundingBoxMin, store.boundingBoxMax})
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z()))
            return "framing estimates not finite";
    const auto rows = fileInfoRows(store);
    if (rows.size() != 10 && !(rows.size() == 11 && rows.last().first == "Depth:"))
        return "file information table is not ten rows and the depth's";
    // The facts File Info and `pelnor info` show; name and path before them may well spell "inf".
    for (const auto &row : rows.mid(2))
        if (row.second.contains("nan") || row.second.contains("inf"))
            return "file information not finite";
    return nullptr;
}
