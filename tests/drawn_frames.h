#pragma once

// What the renderer's and the view's tests share: frames of known shape and where they are drawn.

#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "render/view_state.h"
#include "sample/sample_files.h"
#include "test_support.h"

#include <QColor>
#include <QPoint>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

const QColor kBackground(20, 20, 20);

// A coordinate frame of w x h pixels spaced `step` apart around the origin, every pixel valid, at
// the depth that depth(x, y) gives.
template <typename Depth>
void setCoordinateFrame(ScanFrameStore &store, int w, int h, float step, Depth depth) {
    resizeStore(store, w, h);
    store.frameKind = XyzmFrame;
    for (int i = 0; i < w * h; ++i) {
        const float x = (i % w - (w - 1) / 2.0f) * step, y = (i / w - (h - 1) / 2.0f) * step;
        const float point[] = {x, y, depth(x, y)};
        std::copy(point, point + 3, &store.xyz[3 * i]);
    }
}

inline bool near(QColor a, QColor b, int tolerance = 1) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Where a picture of `size` drawn with the matrices shows a model point.
inline QPoint project(const ViewMatrices &m, QSize size, const QVector3D &point) {
    const QVector3D ndc = (m.projection * m.view * m.model).map(point);
    return QPoint(int(std::floor((ndc.x() + 1.0f) / 2.0f * size.width())),
                  int(std::floor((1.0f - ndc.y()) / 2.0f * size.height())));
}

// Whether the pixel lies well inside smooth surface: it and its neighbours within `r` measured, none
// more than `dz` deeper or nearer. A pixel's worth of rasterising there shows the same surface.
inline bool insideSmoothSurface(const SyntheticCapture &capture, int u, int v, int r, float dz) {
    const float z = capture.xyz[3 * size_t(v * capture.width + u) + 2];
    for (int dv = -r; dv <= r; ++dv)
        for (int du = -r; du <= r; ++du) {
            const size_t j = size_t((v + dv) * capture.width + u + du);
            if (!capture.measured[j] || std::fabs(capture.xyz[3 * j + 2] - z) >= dz)
                return false;
        }
    return true;
}

// Writes the capture as a file with the given ending and loads it into the store, as opening it does.
inline bool loadCapture(ScanFrameStore &store, const SyntheticCapture &capture, const QString &ending) {
    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath("c." + ending);
    store.frameKind = ending == "pt" ? PtFrame : XyzmFrame;
    if (ending == "pt")
        return writeCapturePt(path, capture, &error) && loadPtFile(store, path, &error);
    return writeCaptureXyzm(path, capture, &error) && loadXYZMFile(store, path, &error, nullptr);
}
