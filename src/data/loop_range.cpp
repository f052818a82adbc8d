#include "data/loop_range.h"

#include "data/ptv_reader.h"

#include <algorithm>

void LoopRange::setStart(int32_t frame) {
    m_first = frame;
    if (m_last >= 0 && m_last < frame)
        m_last = -1;
}

void LoopRange::setEnd(int32_t frame) {
    m_last = frame;
    if (m_first > frame)
        m_first = -1;
}

std::pair<int32_t, int32_t> LoopRange::bounds(int32_t frameCount) const {
    const int32_t end = frameCount - 1;
    const int32_t first = std::max(m_first, 0);
    if (first > end)
        return {0, end};
    return {first, m_last < 0 ? end : std::min(m_last, end)};
}

int32_t LoopRange::next(int32_t counter, int32_t frameCount) const {
    if (!isSet() || std::max(m_first, 0) > frameCount - 1)
        return nextPtvFrame(counter, frameCount);
    const auto [first, last] = bounds(frameCount);
    return counter >= first && counter < last ? counter + 1 : first;
}
