#pragma once

#include <QPoint>

#include <memory>
#include <vector>

class ScanFrameStore;

// The values the Change and Noise colourings colour the frame on screen by, a value a pixel
// (MeshSettings::pixelValues). Change: each pixel's depth minus its depth in the reference, which
// is the frame shown before this one unless a frame or depths (the mean of the first frames) are set
// instead. Noise: a map of each pixel's temporal noise, handed in by the work that reads the frames
// it needs. A depth image is computed when first asked for and kept while its frame stays; the
// images of the frame on screen and the one before swap their memory, so playing allocates nothing.
class ChangeValues {
  public:
    using Frame = std::shared_ptr<const ScanFrameStore>;

    // The frame now on screen; the one on screen before it becomes the previous frame.
    void show(const Frame &frame);
    // Forgets the frames, the reference and the noise: another file is open.
    void clear();
    // Compare with the frame shown before each frame (the default).
    void comparePrevious();
    // Compare with this frame, or with these depths (width x height).
    void compareWith(const Frame &reference);
    void compareWith(std::vector<float> depths);
    bool comparesPrevious() const { return m_comparesPrevious; }
    // The temporal noise of each pixel of the frame on screen, or of frames near it.
    void setNoise(std::vector<float> noise);
    bool hasNoise() const { return !m_noise.empty(); }

    // The values of the frame on screen for the colouring, or null: not a colouring by value, no frame
    // yet, no noise map yet, or a reference of another size.
    const float *values(int materialType);
    // The value at a pixel of the frame on screen; NaN where there is none.
    float valueAt(int materialType, const QPoint &pixel);

  private:
    struct Depths {
        Frame frame;
        std::vector<float> depth;
        bool done = false;
        const std::vector<float> &get();
    };

    Depths m_current;
    Depths m_previous;
    Depths m_reference;
    bool m_comparesPrevious = true;
    std::vector<float> m_change;
    bool m_changeDone = false;
    std::vector<float> m_noise;
};
