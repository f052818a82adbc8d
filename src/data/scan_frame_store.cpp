#include "data/scan_frame_store.h"

ScanFrameStore::ScanFrameStore() {
    allocateFrameBuffers();
    resetStatistics();
}

void ScanFrameStore::allocateFrameBuffers() {
    const size_t n = static_cast<size_t>(pixelCount);
    if (!monoTexture)
        monoTexture.reset(new uint8_t[n]);
    if (!rgbTexture)
        rgbTexture.reset(new uint8_t[3 * n]);
    if (!mask)
        mask.reset(new uint8_t[n]);
    if (!phase)
        phase.reset(new float[n]);
    if (!xyz)
        xyz.reset(new float[3 * n]);
}

void ScanFrameStore::releaseFrameBuffers() {
    monoTexture.reset();
    rgbTexture.reset();
    mask.reset();
    phase.reset();
    xyz.reset();
    vertexData.clear();
    indexData.clear();
}
