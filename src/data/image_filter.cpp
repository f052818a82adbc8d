#include "data/image_filter.h"

#include "data/row_pool.h"

#include <cmath>
#include <cstring>

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
                const uint8_t *a = src + static_cast<size_t>(v - 1) * rowBytes;
                const uint8_t *b = a + rowBytes;
                const uint8_t *c = b + rowBytes;
                const int s = channels;
                for (int x = first; x < end; ++x) {
                    float sum = static_cast<float>(a[x - s]) * weights[0];
                    sum += static_cast<float>(a[x]) * weights[1];
                    sum += static_cast<float>(a[x + s]) * weights[2];
                    sum += static_cast<float>(b[x - s]) * weights[3];
                    sum += static_cast<float>(b[x]) * weights[4];
                    sum += static_cast<float>(b[x + s]) * weights[5];
                    sum += static_cast<float>(c[x - s]) * weights[6];
                    sum += static_cast<float>(c[x]) * weights[7];
                    sum += static_cast<float>(c[x + s]) * weights[8];
                    out[x] = static_cast<uint8_t>(static_cast<int>(static_cast<double>(sum) + 0.5));
                }
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
                out[x] = static_cast<uint8_t>(static_cast<int>(static_cast<double>(sum) + 0.5));
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
