#pragma once

#include <QElapsedTimer>

#include <cstdint>

// One line on standard error, rewritten in place after every frame of a long export: the frame,
// how far along, frames per second and the time left. Silent when standard error is no terminal,
// so scripts and logs get only the outcome.
class ProgressLine {
  public:
    // Shown only for exports of more than one frame, and only on a terminal.
    explicit ProgressLine(int32_t total);
    // Frame `frame` is done, the `done`-th of the total.
    void step(int32_t frame, int32_t done);
    // Ends the line, so that what follows starts on a fresh one.
    void finish();

  private:
    bool m_shown = false;
    bool m_open = false;
    int32_t m_total = 0;
    QElapsedTimer m_clock;
};
