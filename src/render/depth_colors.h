#pragma once

#include <QVector2D>

struct SurfaceFacts;
struct ViewState;

// The depths the colour ramps span, as the two depth sliders and a fit to the frame set them. The
// sliders run from the far face of the framing's box (0) to its near face (100); a box comes from a
// sample of the frame's points, so after a fit they also reach the measured depths beyond it, for as
// long as the framing fitted to stays.
class DepthColors {
  public:
    // The depth a slider value stands for, and the slider value of a depth.
    float depthForSlider(const ViewState &state, int value) const;
    int sliderForDepth(const ViewState &state, float depth) const;
    // Min Z Color sets the depth that gets the ramp's first colour (the high end), Max Z Color the
    // low end; the ends stay at least one unit apart.
    void setFirstColourSlider(ViewState &state, int value) const;
    void setLastColourSlider(ViewState &state, int value) const;
    // Spans the ramps over the measured depths; false when nothing is measured.
    bool fit(ViewState &state, const SurfaceFacts &measured);

  private:
    // The far and near depth the sliders run between.
    QVector2D span(const ViewState &state) const;

    // The depths of the last fit (near, far) and the box (near, far) of the framing they were fitted to.
    QVector2D m_fittedDepths;
    QVector2D m_fittedBox;
};
