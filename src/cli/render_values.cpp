#include "cli/render_values.h"

#include "cli/render_options.h"
#include "data/frame_source.h"
#include "render/view_state.h"

#include <algorithm>
#include <cmath>

RenderValues::RenderValues(FrameSource &source, const RenderOptions &options)
    : m_source(source), m_options(options), m_reader(source), m_window(source) {}

bool RenderValues::wanted() const {
    return m_options.color == Change || m_options.color == Noise;
}

bool RenderValues::start(int32_t first, QString *error, bool *misuse) {
    *misuse = true;
    const int32_t held = m_source.framesFound();
    const QString colour = m_options.color == Change ? QStringLiteral("change") : QStringLiteral("noise");
    if (!m_source.isSequence() || held < 2) {
        *error = QStringLiteral("--color %1 needs a 3D video of two frames or more").arg(colour);
        return false;
    }
    const int32_t reference = std::max(m_options.referenceFrame, m_options.meanFrames - 1);
    if (m_options.color == Change && reference >= held) {
        *error = QStringLiteral("--reference %1 lies past the end of the video, which holds frames 0 to %2")
                     .arg(m_options.referenceFrame >= 0 ? QString::number(m_options.referenceFrame)
                                                        : QStringLiteral("mean:%1").arg(m_options.meanFrames))
                     .arg(held - 1);
        return false;
    }
    *misuse = false;
    const float noise = medianNoise(m_reader, first, kNoiseWindow, error);
    if (!std::isfinite(noise))
        return false;
    if (!m_reader.read(first, error))
        return false;
    float low = INFINITY, high = -INFINITY;
    for (const float d : m_reader.depth())
        if (std::isfinite(d))
            low = std::min(low, d), high = std::max(high, d);
    m_neutral = neutralChange(noise);
    m_range = m_options.changeRange > 0.0f ? m_options.changeRange : defaultChangeRange(noise, high - low);
    if (m_options.color != Change)
        return true;
    if (m_options.meanFrames > 0)
        return m_reader.mean(0, m_options.meanFrames - 1, m_reference, error);
    // A fixed frame, or the one before the first drawn; the first of the file is its own reference.
    m_referenceIndex = m_options.referenceFrame >= 0 ? m_options.referenceFrame : std::max(first - 1, 0);
    if (!m_reader.read(m_referenceIndex, error))
        return false;
    m_reference = m_reader.depth();
    return true;
}

const float *RenderValues::valuesFor(const ScanFrameStore &frame, int32_t index, QString *error) {
    m_values.resize(size_t(frame.pixelCount));
    if (m_options.color == Noise) {
        const auto [first, last] = frameWindow(index, kNoiseWindow, m_source.framesFound());
        if (!m_window.moveTo(first, last, error))
            return nullptr;
        m_window.spread(m_values.data());
        return m_values.data();
    }
    m_depth.resize(size_t(frame.pixelCount));
    depthImage(frame, m_depth.data());
    const bool previous = m_options.referenceFrame < 0 && m_options.meanFrames == 0;
    if (previous && m_referenceIndex != index - 1 && index > 0) {
        if (!m_reader.read(index - 1, error))
            return nullptr;
        m_reference = m_reader.depth();
    }
    const std::vector<float> &reference = previous && index == 0 ? m_depth : m_reference;
    depthChange(m_depth.data(), reference.data(), frame.pixelCount, m_values.data());
    if (previous) {
        std::swap(m_reference, m_depth);
        m_referenceIndex = index;
    }
    return m_values.data();
}
