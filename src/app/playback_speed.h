#pragma once

#include <QString>

// How fast a sequence plays, as a step on a ladder of 1/8, 1/4, 1/2, 1, 2 and 4 times the file's
// rate: slower and faster move one step, halving or doubling the speed, and stop at either end.
class PlaybackSpeed {
  public:
    static constexpr int kSteps = 6;
    static constexpr int kNormal = 3;

    // "1/4×", "2×": how the readout and the speed control write step `step`.
    static QString textOf(int step);
    // Times the file's rate at step `step`.
    static double factorOf(int step);

    int step() const { return m_step; }
    // Out-of-ladder steps are taken to its nearer end.
    void setStep(int step);
    bool isNormal() const { return m_step == kNormal; }
    double factor() const { return factorOf(m_step); }
    QString text() const { return textOf(m_step); }

  private:
    int m_step = kNormal;
};
