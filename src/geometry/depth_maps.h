#pragma once

#include "data/frame_source.h"
#include "data/scan_frame_store.h"

#include <QPoint>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// Depth compared over time. Depth is z in the coordinates of the camera that measured the frame
// (frameCamera), as the depth-jump rule measures it: a raw frame's from its calibration, a finished
// frame's from the camera its grid shows. The camera stands still over a 3D video, so pixel (u, v)
// of every frame looks along the same ray, and comparing depths pixel by pixel compares the same
// line of sight. Every image here is width x height floats, row by row, NaN where nothing was
// measured; the viewer, `pelnor` and Python all compute through these.

// The depth of every pixel of the frame into `depth`, in parallel over rows.
void depthImage(const ScanFrameStore &store, float *depth);

// change = depth - reference, pixel by pixel: negative where the surface came nearer to the camera.
// NaN where either frame measured nothing: a pixel measured in one of the two shows no change.
void depthChange(const float *depth, const float *reference, int64_t count, float *change);

// The median of the finite values, NaN when there are none; `scratch` is kept between calls.
float finiteMedian(const float *values, int64_t count, std::vector<float> &scratch);

// Per pixel, the depths of many frames summed up, for their mean and spread.
class DepthAccumulator {
  public:
    // Starts again for images of `count` pixels, keeping the memory.
    void reset(int64_t count);
    void add(const float *depth);
    // Takes out a frame added before.
    void remove(const float *depth);
    int frames() const { return m_frames; }
    // The mean of the depths measured at each pixel; NaN where none was.
    void mean(float *out) const;
    // The standard deviation of the depths measured at each pixel (the temporal noise where the
    // surface holds still); NaN where fewer than two were.
    void spread(float *out) const;

  private:
    std::vector<double> m_sum;
    std::vector<double> m_squares;
    std::vector<int32_t> m_count;
    int m_frames = 0;
};

// The frames a window of `size` frames around frame `frame` takes among `held`: from the frame on,
// moved back where the file ends sooner, so that it holds min(size, held) frames and the frame.
std::pair<int32_t, int32_t> frameWindow(int32_t frame, int32_t size, int32_t held);

// The noise window the viewer, `pelnor info --noise` and Python's facts use, in frames.
constexpr int32_t kNoiseWindow = 30;
// The block a series takes the median of around its pixel, in pixels a side.
constexpr int kSeriesWindow = 5;

// The frames of one scan file read one at a time into a store of their own, with the depth images
// and sums computed from them: what the tool, Python and the viewer's background work read through.
// The store and the images keep their memory from frame to frame.
class DepthFrames {
  public:
    // Reads from `source`, which must stay open while this reads.
    explicit DepthFrames(FrameSource &source) : m_source(source) {}
    const FrameSource &source() const { return m_source; }

    // Frame `frame` into the store; false with the reason.
    bool read(int32_t frame, QString *error);
    const ScanFrameStore &frame() const { return m_store; }
    // The depth image of the frame read last.
    const std::vector<float> &depth();

    // Reads frames first to last and leaves in `out` the mean or the spread (DepthAccumulator) of
    // their depths. False with the reason, or when `stop` is set between frames.
    bool mean(int32_t first, int32_t last, std::vector<float> &out, QString *error,
              const std::atomic<bool> *stop = nullptr);
    bool spread(int32_t first, int32_t last, std::vector<float> &out, QString *error,
                const std::atomic<bool> *stop = nullptr);

    // The depth of each pixel in the frame read last: the median of the depths measured in the
    // `window` x `window` block around it (clipped to the frame), NaN where none is. A single pixel
    // is noisy and may lie on an edge; the block's median is neither.
    void seriesValues(const std::vector<QPoint> &pixels, int window, float *out);
    // Reads frames first to last and hands each frame's seriesValues to `row`, which may stop the
    // reading by returning false. False with the reason, or when stopped.
    bool series(const std::vector<QPoint> &pixels, int window, int32_t first, int32_t last,
                const std::function<bool(int32_t frame, const float *values)> &row, QString *error,
                const std::atomic<bool> *stop = nullptr);

  private:
    bool accumulate(int32_t first, int32_t last, QString *error, const std::atomic<bool> *stop);

    FrameSource &m_source;
    ScanFrameStore m_store{ScanFrameStore::NoFrame{}};
    std::vector<float> m_depth;
    bool m_depthDone = false;
    DepthAccumulator m_sums;
    // One row's depths and one block's, for series.
    std::vector<float> m_row;
    std::vector<float> m_block;
    std::vector<float> m_scratch;
};

// The spread of depths over a window of frames that moves along a sequence, as playback and a
// render of many frames move it: a move adds the frames that come in and takes out those that leave
// (read again), so a window moved on by one frame reads two frames, not all of it.
class NoiseWindow {
  public:
    explicit NoiseWindow(FrameSource &source) : m_frames(source) {}
    // Moves the window to frames first to last; false with the reason, or when `stop` is set between
    // frames (the window then holds nothing).
    bool moveTo(int32_t first, int32_t last, QString *error, const std::atomic<bool> *stop = nullptr);
    int32_t first() const { return m_first; }
    int32_t last() const { return m_last; }
    // Each pixel's spread over the window (DepthAccumulator::spread), width x height floats.
    void spread(float *out) const { m_sums.spread(out); }

  private:
    bool step(int32_t frame, bool in, QString *error);

    DepthFrames m_frames;
    DepthAccumulator m_sums;
    int32_t m_first = 0;
    int32_t m_last = -1;
};

// The range of the Change colouring where the user sets none: four times the temporal noise, so
// that noise stays pale and a change of a few times it shows. Where the noise is unknown or nil (a
// synthetic capture), a hundredth of the depths the frame spans, else 1.
float defaultChangeRange(float noise, float depthSpan);
// The change within which a pixel reads as unchanged: twice the noise, as the difference of two
// frames carries the noise of both (1.4 times either's); 0 where the noise is unknown.
float neutralChange(float noise);

// The temporal noise of a sequence around frame `frame`: the median over the frame of each pixel's
// spread over frameWindow(frame, window, frames held). NaN, with the reason, for a file of one frame
// ("needs a 3D video") or a frame that cannot be read.
float medianNoise(DepthFrames &frames, int32_t frame, int32_t window, QString *error);

// The lines of a series as comma-separated values: a header naming each pixel's column, then frame,
// time in seconds and the depths, an unmeasured depth left empty.
QString seriesHeader(const std::vector<QPoint> &pixels);
QString seriesLine(int32_t frame, double rate, const float *values, size_t count);
