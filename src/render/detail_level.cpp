#include "render/detail_level.h"

#include "data/scan_frame_store.h"
#include "geometry/depth_jumps.h"
#include "render/view_state.h"

#include <algorithm>
#include <cmath>

namespace {

// Pictures in a row over budget before the level drops, and well under it before it rises again.
constexpr int kSlowBeforeCoarser = 2;
constexpr int kFastBeforeFiner = 6;

} // namespace

int DetailLevel::screenStride(const ScanFrameStore &store, const ViewState &state, QSize picture) {
    if (picture.width() >= store.width && picture.height() >= store.height)
        return 1;
    // The size of one frame pixel at the centre's depth from the frame's camera, and the picture
    // pixels one unit there covers, measured with the picture's own matrices.
    const QVector3D centre = state.framing.centre;
    const FrameCamera camera = frameCamera(store);
    const float pixelSize = footprintPerDepth(store, camera) * camera.depth(centre);
    const ViewMatrices m = viewMatrices(state, picture);
    const QMatrix4x4 toClip = m.projection * m.view;
    const QVector3D drawn = m.model.map(centre);
    const QVector3D a = toClip.map(drawn), b = toClip.map(drawn + QVector3D(pixelSize, 0.0f, 0.0f));
    const float apart = std::fabs(b.x() - a.x()) * 0.5f * static_cast<float>(picture.width());
    if (!(apart > 0.0f) || !std::isfinite(apart))
        return 1;
    int stride = 1;
    while (stride < kCoarsest && 2.0f * static_cast<float>(stride) * apart <= 1.0f)
        stride *= 2;
    return stride;
}

void DetailLevel::setAutomatic(bool on) {
    m_automatic = on;
    m_extra = 1;
    m_slowInARow = m_fastInARow = 0;
}

int DetailLevel::next(int screenStride, bool moving, double lastPictureMs, double budgetMs) {
    if (!m_automatic || !moving) {
        m_extra = 1;
        m_slowInARow = m_fastInARow = 0;
        return 1;
    }
    // Halving the stride draws four times the triangles: finer only when that still fits.
    if (lastPictureMs > budgetMs) {
        m_fastInARow = 0;
        if (++m_slowInARow >= kSlowBeforeCoarser && screenStride * m_extra < kCoarsest) {
            m_extra *= 2;
            m_slowInARow = 0;
        }
    } else if (lastPictureMs < budgetMs / 4.0) {
        m_slowInARow = 0;
        if (++m_fastInARow >= kFastBeforeFiner && m_extra > 1) {
            m_extra /= 2;
            m_fastInARow = 0;
        }
    } else {
        m_slowInARow = m_fastInARow = 0;
    }
    return std::min(kCoarsest, screenStride * m_extra);
}
