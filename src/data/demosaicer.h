#pragma once

#include "data/image_filter.h"

#include <cstdint>

// Turns the camera's RGGB mosaic into a colour texture and smooths it. One context serves any
// number of frames of its size.
class Demosaicer {
  public:
    Demosaicer(int32_t width, int32_t height);

    // Writes every pixel of each complete 2 x 2 block; with an odd width or height the last
    // column or row is left as it was.
    void demosaic(const uint8_t *mosaic, uint8_t *rgb) const;
    // Smooths each colour channel of the texture in place with a 3 x 3 Gaussian.
    void smoothColor(uint8_t *rgb);

    ImageFilter filter;
    int32_t width;
    int32_t height;
    int32_t count;
};

// Gives the pixels that a mosaic of odd width or height leaves outside every 2 x 2 block the grey
// of their own sample, so no texture byte stays unset.
void fillMosaicEdges(const uint8_t *mosaic, uint8_t *rgb, int32_t width, int32_t height);
