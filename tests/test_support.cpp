#include "test_support.h"

#include <QFile>
#include <QtTest>

QByteArray readAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void resizeStore(ScanFrameStore &store, int width, int height) {
    store.releaseFrameBuffers();
    store.width = width;
    store.height = height;
    store.pixelCount = width * height;
    store.allocateFrameBuffers();
    std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(1));
    std::fill(store.rgbTexture.get(), store.rgbTexture.get() + 3 * store.pixelCount, uint8_t(0));
}

QByteArray storeSnapshot(const ScanFrameStore &store) {
    QByteArray s;
    auto add = [&s](const void *data, size_t bytes) {
        s.append(static_cast<const char *>(data), int(bytes));
    };
    const size_t n = size_t(store.pixelCount);
    add(&store.width, 4);
    add(&store.height, 4);
    add(&store.pixelCount, 4);
    add(&store.frameKind, 4);
    add(&store.colorTexture, 1);
    add(&store.mosaicCode, 4);
    add(store.cameraProjection, sizeof store.cameraProjection);
    add(store.projectorProjection, sizeof store.projectorProjection);
    add(store.m_Ac.constData(), 36);
    add(&store.boundingBoxMin, 12);
    add(&store.centerOfMass, 12);
    add(store.xyz.get(), 12 * n);
    add(store.phase.get(), 4 * n);
    add(store.rgbTexture.get(), 3 * n);
    add(store.monoTexture.get(), n);
    add(store.mask.get(), n);
    add(store.vertexData.data(), 4 * store.vertexData.size());
    add(store.indexData.data(), 4 * store.indexData.size());
    return s;
}

void setSimpleCalibration(ScanFrameStore &store) {
    const double camera[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double projector[12] = {1, 0, 0, 0, 0, 1, 0, -100, 0, 0, 1, 0};
    store.setCameraProjection(camera);
    store.setProjectorProjection(projector);
}
