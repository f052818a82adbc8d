#include "geometry/depth_distribution.h"

#include "data/region.h"
#include "data/scan_frame_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kDroppedBits = 12;
constexpr uint32_t kBinCount = 1u << (32 - kDroppedBits);

// The bits of a float as an unsigned number that orders as the floats do.
uint32_t orderedBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

float fromOrderedBits(uint32_t ordered) {
    const uint32_t bits = (ordered & 0x80000000u) ? (ordered & 0x7fffffffu) : ~ordered;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

void DepthDistribution::add(const ScanFrameStore &frame) {
    add(frame, Region());
}

void DepthDistribution::add(const ScanFrameStore &frame, const Region &region) {
    if (frame.pixelCount < 1 || !frame.mask)
        return;
    m_depths.resize(static_cast<size_t>(frame.pixelCount));
    frame.measureDepths(m_depths.data(), region);
    add(m_depths.data(), frame.pixelCount);
}

void DepthDistribution::add(const float *depths, int64_t count) {
    if (m_bins.empty())
        m_bins.assign(kBinCount, 0);
    for (int64_t i = 0; i < count; ++i) {
        const float z = depths[i];
        if (!std::isfinite(z))
            continue;
        const uint32_t bin = orderedBits(z) >> kDroppedBits;
        ++m_bins[bin];
        if (m_count++ == 0)
            m_min = m_max = z;
        m_min = std::min(m_min, z);
        m_max = std::max(m_max, z);
        m_lowBin = std::min(m_lowBin, bin);
        m_highBin = std::max(m_highBin, bin);
    }
}

void DepthDistribution::clear() {
    if (m_count > 0)
        std::fill(m_bins.begin() + m_lowBin, m_bins.begin() + m_highBin + 1, 0);
    m_count = 0;
    m_lowBin = UINT32_MAX;
    m_highBin = 0;
}

float DepthDistribution::percentile(double fraction) const {
    if (m_count == 0)
        return 0.0f;
    if (fraction <= 0.0 || fraction >= 1.0)
        return fraction <= 0.0 ? m_min : m_max;
    // The rank among the sorted depths, from 0; between two ranks the depth lies between theirs.
    const double rank = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(m_count - 1);
    uint64_t before = 0;
    for (uint32_t bin = m_lowBin; bin <= m_highBin; ++bin) {
        const uint64_t inBin = m_bins[bin];
        if (rank >= static_cast<double>(before + inBin)) {
            before += inBin;
            continue;
        }
        // The depths of a bin are taken as spread evenly over it.
        const double low = fromOrderedBits(bin << kDroppedBits);
        const double high = fromOrderedBits((bin << kDroppedBits) | ((1u << kDroppedBits) - 1));
        const double along = (rank - static_cast<double>(before) + 0.5) / static_cast<double>(inBin);
        return std::clamp(static_cast<float>(low + along * (high - low)), m_min, m_max);
    }
    return m_max;
}

bool DepthDistribution::fittedRange(float *nearDepth, float *farDepth) const {
    if (m_count == 0)
        return false;
    *nearDepth = percentile(kFitLow);
    *farDepth = percentile(kFitHigh);
    return true;
}
