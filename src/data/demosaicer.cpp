#include "data/demosaicer.h"

Demosaicer::Demosaicer(int32_t w, int32_t h)
    : filter(w, h), width(w), height(h), count(w * h), red(new uint8_t[static_cast<size_t>(count)]),
      green(new uint8_t[static_cast<size_t>(count)]), blue(new uint8_t[static_cast<size_t>(count)]) {}

void Demosaicer::demosaic(const uint8_t *mosaic, uint8_t *rgb) const {
    for (int v = 0; v + 1 < height; v += 2) {
        const uint8_t *top = mosaic + static_cast<int64_t>(v) * width;
        const uint8_t *bottom = top + width;
        uint8_t *outTop = rgb + 3 * static_cast<int64_t>(v) * width;
        uint8_t *outBottom = outTop + 3 * static_cast<int64_t>(width);
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
}

void Demosaicer::smoothColor(uint8_t *rgb) {
    uint8_t *r = red.get(), *g = green.get(), *b = blue.get();
    for (int32_t i = 0; i < count; ++i) {
        r[i] = rgb[3 * i];
        g[i] = rgb[3 * i + 1];
        b[i] = rgb[3 * i + 2];
    }
    filter.gaussianSmooth(r, 3);
    filter.gaussianSmooth(g, 3);
    filter.gaussianSmooth(b, 3);
    for (int32_t i = 0; i < count; ++i) {
        rgb[3 * i] = r[i];
        rgb[3 * i + 1] = g[i];
        rgb[3 * i + 2] = b[i];
    }
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
