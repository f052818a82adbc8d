#include "cli/progress_line.h"

#include <QByteArray>

#include <cstdio>
#include <unistd.h>

namespace {

QByteArray minutesAndSeconds(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    return QByteArray::number(static_cast<qlonglong>(s / 60)) + ':' +
           QByteArray::number(static_cast<qlonglong>(s % 60)).rightJustified(2, '0');
}

} // namespace

ProgressLine::ProgressLine(int32_t total) : m_shown(total > 1 && isatty(STDERR_FILENO)), m_total(total) {
    m_clock.start();
}

void ProgressLine::step(int32_t frame, int32_t done) {
    if (!m_shown)
        return;
    const double seconds = static_cast<double>(m_clock.nsecsElapsed()) * 1e-9;
    const double rate = seconds > 0.0 ? done / seconds : 0.0;
    const double left = rate > 0.0 ? (m_total - done) / rate : 0.0;
    const QByteArray line = "frame " + QByteArray::number(frame) + "  " + QByteArray::number(done) + '/' +
                            QByteArray::number(m_total) + "  " +
                            QByteArray::number(100 * static_cast<qlonglong>(done) / m_total) + "%  " +
                            QByteArray::number(rate, 'f', 1) + " frames/s  " + minutesAndSeconds(left) +
                            " left";
    // Spaces after the text clear what a longer line before it left on the screen.
    std::fprintf(stderr, "\r%-60s", line.constData());
    std::fflush(stderr);
    m_open = true;
}

void ProgressLine::finish() {
    if (m_open)
        std::fputc('\n', stderr);
    m_open = false;
}
