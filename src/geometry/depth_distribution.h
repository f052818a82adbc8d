#pragma once

#include <cstdint>
#include <vector>

class ScanFrameStore;
struct Region;

// How the measured depths (the frames' z, which the colour ramps follow) of one frame or of many are
// spread, so that a colour scale can span the bulk of them and leave out a few stray points. A
// histogram over the order of the floats themselves, 2^20 bins, each about a two-thousandth of its
// depth wide: its percentiles come within a fraction of a bin of those of the depths, and frames of
// any number add up at a fixed cost in memory (every frame of a 3D video for one scale).
class DepthDistribution {
  public:
    // The share of the depths a fitted scale leaves out at either end.
    static constexpr double kFitLow = 0.01;
    static constexpr double kFitHigh = 0.99;

    // Adds the depth of every measured pixel of the frame; with a region, of those whose point it
    // keeps.
    void add(const ScanFrameStore &frame);
    void add(const ScanFrameStore &frame, const Region &region);
    // Adds `count` depths; those not finite are left out.
    void add(const float *depths, int64_t count);
    void clear();
    int64_t count() const { return m_count; }

    // The depth below which `fraction` (0 to 1) of the depths lie, interpolated within its bin and
    // never beyond the depths added; 0 when none were.
    float percentile(double fraction) const;
    // The 1st to the 99th percentile: what every fitted colour scale spans. False when nothing was
    // added.
    bool fittedRange(float *nearDepth, float *farDepth) const;

  private:
    std::vector<uint64_t> m_bins;
    // The bins holding depths lie within [m_lowBin, m_highBin]: clearing and searching stay there.
    uint32_t m_lowBin = UINT32_MAX;
    uint32_t m_highBin = 0;
    int64_t m_count = 0;
    float m_min = 0.0f;
    float m_max = 0.0f;
    // A frame's depths, kept for the next frame of the same size.
    std::vector<float> m_depths;
};
