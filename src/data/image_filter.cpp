#include "data/image_filter.h"

#include "support/row_pool.h"

#include <cmath>
#include <cstring>

namespace {

// The byte nearest to a non-negative sum, halves rounding up: the same as adding 0.5 in double
// and truncating, since a float's fraction is exact, but without leaving single precision.
inline uint8_t roundHalfUp(float sum) {
    const int whole = static_cast<int>(sum);
    return static_cast<uint8_t>(whole + (sum - static_cast<float>(whole) >= 0.5f ? 1 : 0));
}

// One row of the 3 x 3 smoothing: top is the row above in the copy; neighbours of a byte lie
// `step` bytes apart. Written for the vectoriser: no aliasing, no branches.
void smoothRow3(const uint8_t *__restrict top, size_t rowBytes, uint8_t *__restrict out, int first, int end,
                int step, const float *weights) {
    const uint8_t *__restrict a = top;
    const uint8_t *__restrict b = top + rowBytes;
    const uint8_t *__restrict c = b + rowBytes;
    const float w0 = weights[0], w1 = weights[1], w2 = weights[2], w3 = weights[3], w4 = weights[4],
                w5 = weights[5], w6 = weights[6], w7 = weights[7], w8 = weights[8];
    for (int x = first; x < end; ++x) {
        float sum = static_cast<float>(a[x - step]) * w0;
        sum += static_cast<float>(a[x]) * w1;
        sum += static_cast<float>(a[x + step]) * w2;
        sum += static_cast<float>(b[x - step]) * w3;
        sum += static_cast<float>(b[x]) * w4;
        sum += static_cast<float>(b[x + step]) * w5;
        sum += static_cast<float>(c[x - step]) * w6;
        sum += static_cast<float>(c[x]) * w7;
        sum += static_cast<float>(c[x + step]) * w8;
        out[x] = roundHalfUp(sum);
    }
}

// value where keep is all ones, -0.0 where it is zero; in integer lanes, so loops stay vector code.
inline float orMinusZero(float value, uint32_t keep) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits & keep) | (~keep & 0x80000000u);
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

// One neighbour of the masked smoothing: its weight and weighted phase where it is valid, -0.0
// (which changes no sum) where it is not.
inline void addNeighbour(float &weightSum, float &phaseSum, uint8_t valid, float weight, float phase) {
    const uint32_t keep = 0u - (valid != 0 ? 1u : 0u);
    weightSum += orMinusZero(weight, keep);
    phaseSum += orMinusZero(weight * phase, keep);
}

// chosen where keep is all ones, otherwise other.
inline float pick(float chosen, float other, uint32_t keep) {
    uint32_t a, b;
    std::memcpy(&a, &chosen, sizeof a);
    std::memcpy(&b, &other, sizeof b);
    a = (a & keep) | (b & ~keep);
    std::memcpy(&chosen, &a, sizeof a);
    return chosen;
}

// One row of the 3 x 3 masked phase smoothing, branch-free: an invalid neighbour adds -0.0,
// which changes no float, and an invalid pixel keeps its phase.
void maskedRow3(const float *__restrict top, const uint8_t *__restrict maskTop, size_t w,
                float *__restrict out, const float *weights) {
    const float *__restrict p0 = top;
    const float *__restrict p1 = top + w;
    const float *__restrict p2 = p1 + w;
    const uint8_t *__restrict m0 = maskTop;
    const uint8_t *__restrict m1 = maskTop + w;
    const uint8_t *__restrict m2 = m1 + w;
    const float w0 = weights[0], w1 = weights[1], w2 = weights[2], w3 = weights[3], w4 = weights[4],
                w5 = weights[5], w6 = weights[6], w7 = weights[7], w8 = weights[8];
    for (size_t u = 1; u + 1 < w; ++u) {
        float weightSum = 0.0f, phaseSum = 0.0f;
        addNeighbour(weightSum, phaseSum, m0[u - 1], w0, p0[u - 1]);
        addNeighbour(weightSum, phaseSum, m0[u], w1, p0[u]);
        addNeighbour(weightSum, phaseSum, m0[u + 1], w2, p0[u + 1]);
        addNeighbour(weightSum, phaseSum, m1[u - 1], w3, p1[u - 1]);
        addNeighbour(weightSum, phaseSum, m1[u], w4, p1[u]);
        addNeighbour(weightSum, phaseSum, m1[u + 1], w5, p1[u + 1]);
        addNeighbour(weightSum, phaseSum, m2[u - 1], w6, p2[u - 1]);
        addNeighbour(weightSum, phaseSum, m2[u], w7, p2[u]);
        addNeighbour(weightSum, phaseSum, m2[u + 1], w8, p2[u + 1]);
        const float mean = phaseSum / weightSum;
        out[u] = pick(mean, p1[u], 0u - (m1[u] != 0));
    }
}

} // namespace

ImageFilter::ImageFilter(int32_t w, int32_t h) : width(w), height(h), count(w * h) {}

void ImageFilter::makeGaussianKernel(std::unique_ptr<float[]> &kernel, int k) {
    kernel.reset(new float[static_cast<size_t>(k) * k]);
    const double sigma = k / 3.0;
    const float d = static_cast<float>((sigma * 2.0) * sigma);
    const int h = k / 2;
    float sum = 0.0f;
    float *w = kernel.get();
    for (int dy = -h; dy <= h; ++dy) {
        for (int dx = -h; dx <= h; ++dx) {
            *w = std::exp(static_cast<float>(-(dx * dx + dy * dy)) / d);
            sum += *w++;
        }
    }
    const float scale = 1.0f / sum;
    for (int i = 0; i < k * k; ++i)
        kernel[i] *= scale;
}

void ImageFilter::reserveScratch(int channels) {
    m_planeCopy.reserve(static_cast<size_t>(count) * static_cast<size_t>(channels));
    m_phaseCopy.reserve(static_cast<size_t>(count));
}

const float *ImageFilter::kernel(int n) {
    const int k = 2 * (n / 2) + 1;
    if (m_kernelSize != k) {
        makeGaussianKernel(m_kernel, k);
        m_kernelSize = k;
    }
    return m_kernel.get();
}

void ImageFilter::gaussianSmooth(uint8_t *plane, int n) {
    smoothInterleaved(plane, 1, n);
}

// Smooths each of `channels` interleaved byte planes. A pixel's channel has the same channel of
// its neighbours `channels` bytes apart, so one loop over the bytes of a row serves every channel
// and vectorises. Sums run in float in kernel order, rows outer, columns inner, and round by
// adding 0.5 in double.
void ImageFilter::smoothInterleaved(uint8_t *bytes, int channels, int n) {
    if (n < 3 || width < 1 || height < 1)
        return;
    const int h = n / 2;
    const int k = 2 * h + 1;
    const float *weights = kernel(n);
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
    m_planeCopy.resize(rowBytes * static_cast<size_t>(height));
    std::memcpy(m_planeCopy.data(), bytes, m_planeCopy.size());
    const uint8_t *src = m_planeCopy.data();
    const int first = h * channels, end = (width - h) * channels;
    if (first >= end || height <= 2 * h)
        return;
    RowPool::instance().forRows(height - 2 * h, [&](int bandFirst, int bandEnd) {
        for (int v = h + bandFirst; v < h + bandEnd; ++v) {
            uint8_t *out = bytes + static_cast<size_t>(v) * rowBytes;
            if (k == 3) {
                smoothRow3(src + static_cast<size_t>(v - 1) * rowBytes, rowBytes, out, first, end, channels,
                           weights);
                continue;
            }
            for (int x = first; x < end; ++x) {
                float sum = 0.0f;
                const float *w = weights;
                for (int dy = -h; dy <= h; ++dy) {
                    const uint8_t *row = src + static_cast<size_t>(v + dy) * rowBytes + x - h * channels;
                    for (int dx = 0; dx < k; ++dx)
                        sum += static_cast<float>(row[dx * channels]) * *w++;
                }
                out[x] = roundHalfUp(sum);
            }
        }
    });
}

void ImageFilter::maskedGaussianSmooth(float *phase, const uint8_t *mask, int n) {
    if (n < 3 || width < 1 || height < 1)
        return;
    const int h = n / 2;
    const int k = 2 * h + 1;
    const float *weights = kernel(n);
    m_phaseCopy.resize(static_cast<size_t>(count));
    std::memcpy(m_phaseCopy.data(), phase, sizeof(float) * static_cast<size_t>(count));
    const float *src = m_phaseCopy.data();
    if (height <= 2 * h || width <= 2 * h)
        return;
    const size_t w = static_cast<size_t>(width);
    RowPool::instance().forRows(height - 2 * h, [&](int bandFirst, int bandEnd) {
        for (int v = h + bandFirst; v < h + bandEnd; ++v) {
            if (k == 3) {
                const size_t top = static_cast<size_t>(v - 1) * w;
                maskedRow3(src + top, mask + top, w, phase + static_cast<size_t>(v) * w, weights);
                continue;
            }
            for (int u = h; u < width - h; ++u) {
                const size_t i = static_cast<size_t>(v) * w + static_cast<size_t>(u);
                if (!mask[i])
                    continue;
                // Adding -0.0 changes no float, so an invalid neighbour adds -0.0 instead of being
                // skipped: the same bits, and a loop without branches.
                float weightSum = 0.0f, phaseSum = 0.0f;
                const float *wk = weights;
                for (int dy = -h; dy <= h; ++dy) {
                    const size_t rowStart = i + static_cast<size_t>(dy) * w - static_cast<size_t>(h);
                    for (int dx = 0; dx < k; ++dx, ++wk) {
                        const bool valid = mask[rowStart + static_cast<size_t>(dx)] != 0;
                        weightSum += valid ? *wk : -0.0f;
                        phaseSum += valid ? *wk * src[rowStart + static_cast<size_t>(dx)] : -0.0f;
                    }
                }
                phase[i] = phaseSum / weightSum;
            }
        }
    });
}
