#include "data/scan_frame_store.h"

#include <algorithm>
#include <utility>

ScanFrameStore::ScanFrameStore() {
    allocateFrameBuffers();
    // The start-up frame is an empty one, never whatever the allocator held.
    const size_t n = static_cast<size_t>(pixelCount);
    std::fill_n(monoTexture.get(), n, uint8_t(0));
    std::fill_n(rgbTexture.get(), 3 * n, uint8_t(0));
    std::fill_n(mask.get(), n, uint8_t(0));
    std::fill_n(phase.get(), n, 0.0f);
    std::fill_n(xyz.get(), 3 * n, 0.0f);
    resetStatistics();
}

ScanFrameStore::ScanFrameStore(NoFrame) : width(0), height(0), pixelCount(0) {
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

void ScanFrameStore::swapFrame(ScanFrameStore &other) {
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(pixelCount, other.pixelCount);
    std::swap(frameKind, other.frameKind);
    std::swap(colorTexture, other.colorTexture);
    std::swap(mosaicCode, other.mosaicCode);
    std::swap(validCoordinateCount, other.validCoordinateCount);
    std::swap(meshStride, other.meshStride);
    rgbTexture.swap(other.rgbTexture);
    monoTexture.swap(other.monoTexture);
    mask.swap(other.mask);
    xyz.swap(other.xyz);
    phase.swap(other.phase);
    vertexData.swap(other.vertexData);
    indexData.swap(other.indexData);
}
