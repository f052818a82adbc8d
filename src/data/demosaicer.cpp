#include "data/demosaicer.h"

#include "support/row_pool.h"

Demosaicer::Demosaicer(int32_t w, int32_t h) : filter(w, h), width(w), height(h), count(w * h) {}

void Demosaicer::demosaic(const uint8_t *mosaic, uint8_t *rgb) const {
    const size_t w = static_cast<size_t>(width);
    RowPool::instance().forRows(height / 2, [&](int firstBlock, int endBlock) {
        for (int block = firstBlock; block < endBlock; ++block) {
            const uint8_t *top = mosaic + 2 * static_cast<size_t>(block) * w;
            const uint8_t *bottom = top + w;
            uint8_t *outTop = rgb + 6 * static_cast<size_t>(block) * w;
            uint8_t *outBottom = outTop + 3 * w;
            for (int u = 0; u + 1 < width; u += 2) {
                const uint8_t a = top[u], b = top[u + 1], c = bottom[u], d = bottom[u + 1];
                // Each green sample is halved before the sum, so two greens of 255 give 254.
                const uint8_t g = static_cast<uint8_t>((b >> 1) + (c >> 1));
                uint8_t *p = outTop + 3 * u;
                p[0] = a, p[1] = g, p[2] = d;
                p[3] = a, p[4] = b, p[5] = d;
                p = outBottom + 3 * u;
                p[0] = a, p[1] = c, p[2] = d;
                p[3] = a, p[4] = g, p[5] = d;
            }
        }
    });
}

// The channels are smoothed where they lie, interleaved, which gives the same bytes as smoothing
// three separate planes without splitting and merging them.
void Demosaicer::smoothColor(uint8_t *rgb) {
    filter.smoothInterleaved(rgb, 3, 3);
}

void fillMosaicEdges(const uint8_t *mosaic, uint8_t *rgb, int32_t width, int32_t height) {
    auto grey = [&](int64_t i) { rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = mosaic[i]; };
    if (width % 2)
        for (int v = 0; v < height; ++v)
            grey(static_cast<int64_t>(v) * width + width - 1);
    if (height % 2)
        for (int u = 0; u < width; ++u)
            grey(static_cast<int64_t>(height - 1) * width + u);
}
