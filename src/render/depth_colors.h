#pragma once

#include "geometry/depth_distribution.h"

#include <QString>
#include <QVector2D>

#include <cstdint>

class ScanFrameStore;
struct ViewState;

// Where the depth range of the colour ramps comes from.
enum class DepthScale : int32_t {
    // The framing box of the first frame shown, kept by the frames after it (the default).
    FirstFrame = 0,
    // Fitted to each frame as it is shown.
    ThisFrame = 1,
    // Fitted to every frame of the 3D video at once, so that a depth keeps its colour throughout.
    Sequence = 2,
    // The sliders' depths, or depths given.
    Fixed = 3,
};
// The scale's name in the legend ("whole video") and in a session file ("sequence").
QString depthScaleName(DepthScale scale);
QString depthScaleKey(DepthScale scale);
// The scale a session names; false for a name that is none.
bool depthScaleOfKey(const QString &key, DepthScale *scale);

// The depths the colour ramps span, as the two depth sliders and a fit set them, and the scale they
// come from. The sliders run from the far face of the framing's box (0) to its near face (100); a
// box comes from a sample of the frame's points, so after a fit they also reach the fitted depths
// beyond it, for as long as the framing fitted to stays. Every fit spans the 1st to the 99th
// percentile of the measured depths, so a few stray points do not crush the rest into one colour.
class DepthColors {
  public:
    // The depth a slider value stands for, and the slider value of a depth.
    float depthForSlider(const ViewState &state, int value) const;
    int sliderForDepth(const ViewState &state, float depth) const;
    // Min Z Color sets the depth that gets the ramp's first colour (the high end), Max Z Color the
    // low end; the ends stay at least one unit apart.
    void setFirstColourSlider(ViewState &state, int value) const;
    void setLastColourSlider(ViewState &state, int value) const;
    // Spans the ramps over the bulk of the depths the frame measures (of the points the view's region
    // keeps); false when it measures nothing there.
    bool fit(ViewState &state, const ScanFrameStore &frame);
    // Spans the ramps from `nearDepth` to `farDepth`, depths fitted elsewhere (a whole video's).
    void setFitted(ViewState &state, float nearDepth, float farDepth);

    DepthScale scale() const { return m_scale; }
    // A whole video's scale is provisional until its every frame is measured.
    void setScale(DepthScale scale, bool provisional = false);
    bool provisional() const { return m_provisional; }
    // What the legend says of the scale: "first frame", "whole video, provisional", ...
    QString legendNote() const;

  private:
    // The far and near depth the sliders run between.
    QVector2D span(const ViewState &state) const;

    // The depths of the last fit (near, far) and the box (near, far) of the framing they were fitted to.
    QVector2D m_fittedDepths;
    QVector2D m_fittedBox;
    DepthScale m_scale = DepthScale::FirstFrame;
    bool m_provisional = false;
    // Kept between fits, so a frame kept fitted while playing allocates nothing.
    DepthDistribution m_depths;
};
