#include "data/image_filter.h"

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
    if (n < 3 || width < 1 || height < 1)
        return;
    const int h = n / 2;
    const int k = 2 * h + 1;
    const float *weights = kernel(n);
    m_planeCopy.resize(static_cast<size_t>(count));
    std::memcpy(m_planeCopy.data(), plane, static_cast<size_t>(count));
    const uint8_t *src = m_planeCopy.data();
    for (int v = h; v < height - h; ++v) {
        for (int u = h; u < width - h; ++u) {
            float s = 0.0f;
            const float *w = weights;
            for (int dy = -h; dy <= h; ++dy) {
                const uint8_t *row = src + static_cast<int64_t>(v + dy) * width + u - h;
                for (int dx = 0; dx < k; ++dx)
                    s += static_cast<float>(row[dx]) * *w++;
            }
            plane[static_cast<int64_t>(v) * width + u] = static_cast<uint8_t>(static_cast<double>(s) + 0.5);
        }
    }
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
    for (int v = h; v < height - h; ++v) {
        for (int u = h; u < width - h; ++u) {
            const int64_t i = static_cast<int64_t>(v) * width + u;
            if (!mask[i])
                continue;
            float weightSum = 0.0f, phaseSum = 0.0f;
            const float *w = weights;
            for (int dy = -h; dy <= h; ++dy) {
                const int64_t rowStart = i + static_cast<int64_t>(dy) * width - h;
                for (int dx = 0; dx < k; ++dx, ++w) {
                    if (mask[rowStart + dx]) {
                        weightSum += *w;
                        phaseSum += *w * src[rowStart + dx];
                    }
                }
            }
            phase[i] = phaseSum / weightSum;
        }
    }
}
