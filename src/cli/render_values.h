#pragma once

#include "geometry/depth_maps.h"

#include <QString>

#include <cstdint>
#include <vector>

class FrameSource;
class ScanFrameStore;
struct RenderOptions;

// What the Change and Noise colourings of a render colour each frame by, a value a pixel, read
// through the render's own source on the thread that prepares the frames, a frame ahead of the
// drawing. The range is fixed before the first frame, so one scale holds for every picture.
class RenderValues {
  public:
    RenderValues(FrameSource &source, const RenderOptions &options);

    // Whether the colouring asks for values at all.
    bool wanted() const;
    // Checks the file against what is asked (a 3D video, a reference within the frames it holds),
    // reads the reference and sets the range from the noise around frame `first`. False with the
    // reason: `misuse` set for what the arguments ask of a file that cannot give it.
    bool start(int32_t first, QString *error, bool *misuse);
    float range() const { return m_range; }
    float neutral() const { return m_neutral; }
    // The values of frame `index`, read into `frame`: valid until the next call.
    const float *valuesFor(const ScanFrameStore &frame, int32_t index, QString *error);

  private:
    FrameSource &m_source;
    const RenderOptions &m_options;
    DepthFrames m_reader;
    NoiseWindow m_window;
    // The reference depths of a fixed reference, or those of the frame before.
    std::vector<float> m_reference;
    int32_t m_referenceIndex = -1;
    std::vector<float> m_depth;
    std::vector<float> m_values;
    float m_range = 1.0f;
    float m_neutral = 0.0f;
};
