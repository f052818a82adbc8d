#include "view/change_values.h"

#include "data/scan_frame_store.h"
#include "geometry/depth_maps.h"
#include "render/view_state.h"

#include <cmath>

const std::vector<float> &ChangeValues::Depths::get() {
    if (!done && frame) {
        depth.resize(size_t(frame->pixelCount));
        depthImage(*frame, depth.data());
        done = true;
    }
    return depth;
}

void ChangeValues::show(const Frame &frame) {
    if (frame == m_current.frame)
        return;
    std::swap(m_previous, m_current);
    m_current.frame = frame;
    m_current.done = false;
    m_changeDone = false;
}

void ChangeValues::clear() {
    m_current.frame.reset(), m_previous.frame.reset();
    m_current.done = m_previous.done = false;
    comparePrevious();
    m_noise.clear();
}

void ChangeValues::comparePrevious() {
    m_comparesPrevious = true;
    m_reference.frame.reset();
    m_reference.done = false;
    m_changeDone = false;
}

void ChangeValues::compareWith(const Frame &reference) {
    m_comparesPrevious = false;
    m_reference.frame = reference;
    m_reference.done = false;
    m_changeDone = false;
}

void ChangeValues::compareWith(std::vector<float> depths) {
    m_comparesPrevious = false;
    m_reference.frame.reset();
    m_reference.depth = std::move(depths);
    m_reference.done = true;
    m_changeDone = false;
}

void ChangeValues::setNoise(std::vector<float> noise) {
    m_noise = std::move(noise);
}

const float *ChangeValues::values(int materialType) {
    if (!m_current.frame)
        return nullptr;
    const size_t count = size_t(m_current.frame->pixelCount);
    if (materialType == Noise)
        return m_noise.size() == count ? m_noise.data() : nullptr;
    if (materialType != Change)
        return nullptr;
    if (m_changeDone)
        return m_change.data();
    // The first frame shown has nothing before it: it is its own reference, and nothing has changed.
    Depths &reference = !m_comparesPrevious ? m_reference : m_previous.frame ? m_previous : m_current;
    const std::vector<float> &depth = m_current.get(), &before = reference.get();
    if (before.size() != count)
        return nullptr;
    m_change.resize(count);
    depthChange(depth.data(), before.data(), int64_t(count), m_change.data());
    m_changeDone = true;
    return m_change.data();
}

float ChangeValues::valueAt(int materialType, const QPoint &pixel) {
    const float *all = values(materialType);
    if (!all || pixel.x() < 0 || pixel.y() < 0 || pixel.x() >= m_current.frame->width ||
        pixel.y() >= m_current.frame->height)
        return NAN;
    return all[int64_t(pixel.y()) * m_current.frame->width + pixel.x()];
}
