#include "render/view_state.h"

#include "data/scan_frame_store.h"
#include "geometry/frame_camera.h"

#include <algorithm>
#include <cmath>

Framing Framing::of(const ScanFrameStore &frame) {
    return {frame.boundingBoxMin, frame.boundingBoxMax, frame.boundingBoxSize, frame.centerOfMass};
}

ViewMatrices viewMatrices(const ViewState &state, QSize size) {
    const QVector3D c = state.framing.centre;
    ViewMatrices m;
    m.projection.perspective(45.0f, static_cast<float>(size.width()) / static_cast<float>(size.height()),
                             0.1f, 10000.0f);
    m.view.lookAt(state.cameraOrigin, c, QVector3D(0.0f, 1.0f, 0.0f));
    m.model.translate(state.translation);
    m.model.translate(c);
    m.model.rotate(state.rotation.x(), 1.0f, 0.0f, 0.0f);
    m.model.rotate(state.rotation.y(), 0.0f, 1.0f, 0.0f);
    m.model.rotate(static_cast<float>(static_cast<double>(state.rotation.z()) - 90.0), 0.0f, 0.0f, 1.0f);
    if (!state.scannerTurn.isIdentity())
        m.model *= state.scannerTurn;
    m.model.translate(-c);
    return m;
}

void frameOn(const ScanFrameStore &frame, ViewState &state) {
    state.framing = Framing::of(frame);
    const FrameCamera camera = frameCamera(frame);
    state.scannerTurn = QMatrix4x4();
    if (!camera.atOrigin()) {
        const QVector3D rows[] = {camera.xAxis, camera.yAxis, camera.axis};
        for (int r = 0; r < 3; ++r)
            state.scannerTurn.setRow(r, QVector4D(rows[r], 0.0f));
    }
    const QVector3D extent = state.framing.boxSize;
    const QVector3D c = state.framing.centre;
    const float t = static_cast<float>(std::tan(M_PI / 8.0));
    const float d = static_cast<float>(std::max(extent.y() * 0.5 / t, extent.x() * 0.5 / t));
    state.cameraOrigin = QVector3D(c.x(), c.y(), static_cast<float>(static_cast<double>(c.z()) - d));
}

QVector3D lightPosition(const ViewState &state) {
    const QVector3D c = state.framing.centre;
    if (state.scannerTurn.isIdentity())
        return QVector3D(c.x(), c.y(), state.cameraOrigin.z());
    // The model is turned to the camera's axes about the centre; the light is not.
    const QVector3D along = state.scannerTurn.row(2).toVector3D();
    return c + along * (state.cameraOrigin.z() - c.z());
}

void takeFirstDepthRange(ViewState &state) {
    if (state.depthRangeTaken)
        return;
    state.colorZrange.setX(state.framing.boxMin.z());
    state.colorZrange.setY(state.framing.boxMax.z());
    state.depthRangeTaken = true;
}

float lightForSlider(int value) {
    return static_cast<float>(value / 100.0) * 10.0f;
}

float mirrorBlend(bool towardsMirrored, int64_t elapsedMs) {
    const float t = std::clamp(
        static_cast<float>(static_cast<double>(elapsedMs) / static_cast<double>(kMirrorMilliseconds)), 0.0f,
        1.0f);
    return towardsMirrored ? t : 1.0f - t;
}
