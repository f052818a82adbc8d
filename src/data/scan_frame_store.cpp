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
}

void ScanFrameStore::swapFrame(ScanFrameStore &other) {
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(pixelCount, other.pixelCount);
    std::swap(frameKind, other.frameKind);
    std::swap(colorTexture, other.colorTexture);
    std::swap(mosaicCode, other.mosaicCode);
    rgbTexture.swap(other.rgbTexture);
    monoTexture.swap(other.monoTexture);
    mask.swap(other.mask);
    xyz.swap(other.xyz);
    phase.swap(other.phase);
}

namespace {

template <typename T> std::unique_ptr<T[]> copyOf(const std::unique_ptr<T[]> &buffer, size_t count) {
    if (!buffer)
        return nullptr;
    std::unique_ptr<T[]> copy(new T[count]);
    std::copy_n(buffer.get(), count, copy.get());
    return copy;
}

} // namespace

ScanFrameStore ScanFrameStore::duplicate() const {
    ScanFrameStore copy(NoFrame{});
    const size_t n = static_cast<size_t>(std::max(pixelCount, 0));
    copy.rgbTexture = copyOf(rgbTexture, 3 * n);
    copy.monoTexture = copyOf(monoTexture, n);
    copy.mask = copyOf(mask, n);
    copy.xyz = copyOf(xyz, 3 * n);
    copy.phase = copyOf(phase, n);
    copy.boundingBoxMin = boundingBoxMin;
    copy.boundingBoxMax = boundingBoxMax;
    copy.boundingBoxSize = boundingBoxSize;
    copy.centerOfMass = centerOfMass;
    copy.m_Tc = m_Tc;
    copy.m_Tp = m_Tp;
    copy.m_Ac = m_Ac;
    copy.m_Ap = m_Ap;
    copy.fileName = fileName;
    copy.filePath = filePath;
    std::copy_n(cameraProjection, 12, copy.cameraProjection);
    std::copy_n(projectorProjection, 12, copy.projectorProjection);
    std::copy_n(cameraMatrix, 9, copy.cameraMatrix);
    std::copy_n(projectorMatrix, 9, copy.projectorMatrix);
    std::copy_n(cameraCoefficients, 5, copy.cameraCoefficients);
    std::copy_n(projectorCoefficients, 5, copy.projectorCoefficients);
    copy.width = width;
    copy.height = height;
    copy.pixelCount = pixelCount;
    copy.frameKind = frameKind;
    copy.colorTexture = colorTexture;
    copy.mosaicCode = mosaicCode;
    return copy;
}
