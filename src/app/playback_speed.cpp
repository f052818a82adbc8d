#include "app/playback_speed.h"

#include <QtGlobal>

#include <cmath>

QString PlaybackSpeed::textOf(int step) {
    const QString times = QStringLiteral("\u00d7");
    return step < kNormal ? QStringLiteral("1/%1").arg(1 << (kNormal - step)) + times
                          : QString::number(1 << (step - kNormal)) + times;
}

void PlaybackSpeed::setStep(int step) {
    m_step = qBound(0, step, kSteps - 1);
}

double PlaybackSpeed::factorOf(int step) {
    return std::ldexp(1.0, step - kNormal);
}
