#pragma once

#include <cstdint>
#include <utility>

// The frames of a sequence that playback loops over, set by their first and last frame. A bound
// left open reaches the file's end on its side: a start alone loops to the last frame, an end alone
// from frame 0. Frames are indices in the file, and a file cut short below a bound shortens the
// range with it.
class LoopRange {
  public:
    bool isSet() const { return m_first >= 0 || m_last >= 0; }
    // A start after the end (or an end before the start) drops the other bound, so the range is
    // never empty.
    void setStart(int32_t frame);
    void setEnd(int32_t frame);
    void clear() { *this = LoopRange(); }

    // First and last frame of the range within a file of `frameCount` frames; the whole file when
    // no range is set, or when the file no longer reaches its start.
    std::pair<int32_t, int32_t> bounds(int32_t frameCount) const;
    // The frame playback shows after `counter`. A range plays every frame from its first to its last,
    // then its first again, and a counter outside it comes back to its first; without a range (or
    // with one the file no longer reaches) the file's own loop rule holds, which never returns to
    // frame 0.
    int32_t next(int32_t counter, int32_t frameCount) const;

  private:
    int32_t m_first = -1;
    int32_t m_last = -1;
};
