#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Gaussian smoothing of one frame's byte planes and phase map. The copy each pass reads from is
// kept between calls, so a sequence of frames of one size allocates nothing after the first.
class ImageFilter {
  public:
    ImageFilter() = default;
    ImageFilter(int32_t width, int32_t height);

    // Replaces kernel with a normalised k x k Gaussian (sigma = k / 3), weights row by row.
    static void makeGaussianKernel(std::unique_ptr<float[]> &kernel, int k);
    // Smooths a byte plane in place with an n x n kernel; the n / 2 pixels at the border keep
    // their values. Does nothing for n below 3.
    void gaussianSmooth(uint8_t *plane, int n);
    // Smooths each channel of a texture of `channels` interleaved bytes per pixel in place, as
    // gaussianSmooth would smooth each channel's plane.
    void smoothInterleaved(uint8_t *bytes, int channels, int n);
    // Smooths valid phases in place over their valid neighbours only; invalid and border pixels
    // keep their phase.
    void maskedGaussianSmooth(float *phase, const uint8_t *mask, int n);
    // Takes the copies that the passes read from at once (std::bad_alloc when the memory is not
    // there), so that the passes themselves never allocate: a byte plane of `channels` interleaved
    // bytes per pixel and a phase map.
    void reserveScratch(int channels);

    int32_t width = 0;
    int32_t height = 0;
    int32_t count = 0;

  private:
    const float *kernel(int n);

    std::unique_ptr<float[]> m_kernel;
    int m_kernelSize = 0;
    std::vector<uint8_t> m_planeCopy;
    std::vector<float> m_phaseCopy;
};
