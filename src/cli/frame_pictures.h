#pragma once

#include "data/frame_mesh.h"
#include "geometry/depth_distribution.h"
#include "render/frame_renderer.h"
#include "render/headless_context.h"
#include "render/view_state.h"

#include <QImage>
#include <QString>

#include <cstdint>

struct RenderOptions;

// The view for the options of a render: its light, turn or view, background and a depth range given.
ViewState renderView(const RenderOptions &options);

// Draws the frames of a render into pictures, as the viewer's view shows them: in a headless
// context, with the viewer's own renderer, the camera and the colours placed as the view places
// them. The first frame brings the calibration, framing and depth range the later ones keep.
class FramePictures {
  public:
    explicit FramePictures(const RenderOptions &options);
    FramePictures(const FramePictures &) = delete;
    FramePictures &operator=(const FramePictures &) = delete;
    ~FramePictures();

    // The range of the Change and Noise colourings, the same for every frame.
    void setValueRange(float range, float neutral);
    // The context and the renderer, on this thread; false with the reason.
    bool start(QString *error);
    // Draws the frame (its mesh built) into `image`.
    bool draw(int32_t frame, const MeshedFrame &next, QImage *image, QString *reason);

  private:
    void takeFirst(const ScanFrameStore &first);
    // Spans the ramps over the bulk of the frame's measured depths.
    void fit(const ScanFrameStore &frame);

    const RenderOptions &m_options;
    HeadlessContext m_gl;
    FrameRenderer m_renderer;
    bool m_started = false;
    ViewState m_view;
    DepthDistribution m_depths;
};
