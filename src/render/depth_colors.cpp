#include "render/depth_colors.h"

#include "data/region.h"
#include "data/scan_frame_store.h"
#include "render/view_state.h"

#include <algorithm>
#include <cmath>

QVector2D DepthColors::span(const ViewState &state) const {
    const float nearest = state.framing.boxMin.z(), farthest = state.framing.boxMax.z();
    if (QVector2D(nearest, farthest) != m_fittedBox)
        return QVector2D(farthest, nearest);
    return QVector2D(std::max(farthest, m_fittedDepths.y()), std::min(nearest, m_fittedDepths.x()));
}

float DepthColors::depthForSlider(const ViewState &state, int value) const {
    // From the box's far face down to its near face; a phase frame's centre need not lie midway.
    const QVector2D s = span(state);
    const float e = s.x() - s.y();
    return s.x() - static_cast<float>(value) / 100.0f * e;
}

int DepthColors::sliderForDepth(const ViewState &state, float depth) const {
    const QVector2D s = span(state);
    const float e = s.x() - s.y();
    return e > 0.0f ? qRound((s.x() - depth) / e * 100.0f) : 0;
}

void DepthColors::setFirstColourSlider(ViewState &state, int value) const {
    QVector3D &range = state.colorZrange;
    range.setY(depthForSlider(state, value));
    if (std::fabs(range.y() - range.x()) < 1.0f)
        range.setX(range.y() - 1.0f);
}

void DepthColors::setLastColourSlider(ViewState &state, int value) const {
    QVector3D &range = state.colorZrange;
    range.setX(depthForSlider(state, value));
    if (std::fabs(range.y() - range.x()) < 1.0f)
        range.setY(range.x() + 1.0f);
}

bool DepthColors::fit(ViewState &state, const ScanFrameStore &frame) {
    m_depths.clear();
    m_depths.add(frame, state.region);
    float nearDepth = 0.0f, farDepth = 0.0f;
    if (!m_depths.fittedRange(&nearDepth, &farDepth))
        return false;
    setFitted(state, nearDepth, farDepth);
    return true;
}

void DepthColors::setFitted(ViewState &state, float nearDepth, float farDepth) {
    m_fittedDepths = QVector2D(nearDepth, farDepth);
    m_fittedBox = QVector2D(state.framing.boxMin.z(), state.framing.boxMax.z());
    state.colorZrange = QVector3D(nearDepth, farDepth, 0.0f);
    state.depthRangeTaken = true;
}

void DepthColors::setScale(DepthScale scale, bool provisional) {
    m_scale = scale;
    m_provisional = provisional && scale == DepthScale::Sequence;
}

QString DepthColors::legendNote() const {
    return m_provisional ? depthScaleName(m_scale) + QStringLiteral(", provisional")
                         : depthScaleName(m_scale);
}

namespace {

struct ScaleNames {
    DepthScale scale;
    const char *name;
    const char *key;
};
constexpr ScaleNames kScaleNames[] = {{DepthScale::FirstFrame, "first frame", "first-frame"},
                                      {DepthScale::ThisFrame, "this frame", "this-frame"},
                                      {DepthScale::Sequence, "whole video", "sequence"},
                                      {DepthScale::Fixed, "fixed", "fixed"}};

} // namespace

QString depthScaleName(DepthScale scale) {
    return QLatin1String(kScaleNames[static_cast<int>(scale)].name);
}

QString depthScaleKey(DepthScale scale) {
    return QLatin1String(kScaleNames[static_cast<int>(scale)].key);
}

bool depthScaleOfKey(const QString &key, DepthScale *scale) {
    for (const ScaleNames &names : kScaleNames)
        if (key == QLatin1String(names.key)) {
            *scale = names.scale;
            return true;
        }
    return false;
}
