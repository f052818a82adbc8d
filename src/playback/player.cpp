#include "playback/player.h"

#include "data/scan_frame_store.h"
#include "playback/playback_log.h"

#include <QTimer>

#include <algorithm>
#include <ctime>
#include <limits>

namespace {

// The timer takes whole milliseconds in an int: a rate far below one frame a second waits the
// longest interval the timer takes instead of overflowing.
int timerInterval(double framesPerSecond) {
    constexpr int kLongest = std::numeric_limits<int>::max();
    const double ms = 1000.0 / framesPerSecond;
    if (!(ms < static_cast<double>(kLongest)))
        return kLongest;
    return ms > 0.0 ? static_cast<int>(ms) : 0;
}

double threadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// How many frames ahead of the play head the sequence is asked to read: a second at 30 frames a second.
constexpr int kReadAheadFrames = 30;

} // namespace

Player::Player(QObject *parent) : QObject(parent), m_timer(new QTimer(this)) {
    qRegisterMetaType<SharedFrame>("SharedFrame");
    connect(m_timer, &QTimer::timeout, this, &Player::tick);
}

Player::~Player() = default;

bool Player::isPlaying() const {
    return m_timer->isActive();
}

int Player::interval() const {
    return m_timer->interval();
}

bool Player::play(FrameSequence &sequence, QString *error) {
    qCDebug(playbackLog).noquote() << "open ptv file" << sequence.path();
    // Resuming the sequence on screen keeps its loop range and reads its header again; another
    // file plays whole.
    const bool resuming = m_sequence && sequence.path() == m_path;
    if (resuming && !sequence.followFile(error))
        return false;
    const LoopRange range = resuming ? m_range : LoopRange();
    const int first = range.next(m_counter, sequence.framesFound());
    const SharedFrame frame = sequence.frame(first, error);
    if (!frame)
        return false;
    m_sequence = &sequence;
    m_path = sequence.path();
    m_range = range;
    m_held = false;
    m_timer->setInterval(timerInterval(static_cast<double>(sequence.frameRate()) * m_speed));
    m_timer->start();
    emit playingChanged(true, m_timer->interval());
    // Resuming keeps the framing of the sequence on screen, but near the file's start, where the
    // loop begins again; another file is framed on its own first frame, wherever the counter stands.
    show(frame, first, !resuming || first < 3);
    const QString shortBy = sequence.shortfall();
    if (!shortBy.isEmpty())
        emit statusMessage(QStringLiteral("Playing %1: %2").arg(m_path, shortBy));
    restartPace();
    readAhead();
    return true;
}

void Player::pause() {
    if (!m_timer->isActive())
        return;
    m_timer->stop();
    emit playingChanged(false, m_timer->interval());
}

void Player::stop() {
    pause();
    m_sequence = nullptr;
}

void Player::setSpeed(double factor) {
    m_speed = factor;
    if (!m_sequence || !m_timer->isActive())
        return;
    m_timer->setInterval(timerInterval(static_cast<double>(m_sequence->frameRate()) * factor));
    emit playingChanged(true, m_timer->interval());
    // The pace is measured afresh at the new speed.
    restartPace();
}

void Player::framePainted() {
    if (!m_unpainted)
        return;
    m_unpainted = false;
    ++m_framesPainted;
}

void Player::show(const SharedFrame &frame, int index, bool frameIt) {
    m_counter = index;
    m_unpainted = true;
    emit frameReady(frame, index, frameIt);
}

void Player::readAhead() {
    if (!m_sequence)
        return;
    std::vector<int32_t> upcoming;
    upcoming.reserve(kReadAheadFrames + 1);
    const int32_t count = m_sequence->framesFound();
    int32_t k = m_counter;
    upcoming.push_back(k);
    for (int i = 0; i < std::min(kReadAheadFrames, count - 1); ++i) {
        k = m_range.next(k, count);
        upcoming.push_back(k);
    }
    m_sequence->readAhead(std::move(upcoming));
}

void Player::tick() {
    // A frame not yet painted holds the next one back: where decoding outruns drawing, playback
    // slows down instead of passing frames over unseen.
    if (!m_sequence || m_held || m_unpainted)
        return;
    const double start = threadCpuMilliseconds();
    const int next = m_range.next(m_counter, m_sequence->framesFound());
    QString error;
    // The counter moves with the picture only. A frame that cannot be read (the file was cut or
    // rewritten under the player) leaves the last good one on screen and pauses, said once.
    const SharedFrame frame = m_sequence->frame(next, &error);
    if (!frame) {
        QString holds;
        const int32_t now = m_sequence->framesOnDisk(&holds);
        if (now > 0)
            holds = now == 1 ? QStringLiteral("the file now holds one frame, 0")
                             : QStringLiteral("the file now holds frames 0 to %1").arg(now - 1);
        pause();
        qCDebug(playbackLog).noquote() << error << holds;
        emit paused(error + QStringLiteral("; ") + holds);
        return;
    }
    show(frame, next, false);
    readAhead();
    reportPace(threadCpuMilliseconds() - start);
}

bool Player::seek(int frame, QString *error) {
    if (!m_sequence) {
        if (error)
            *error = QStringLiteral("no sequence is on screen");
        return false;
    }
    if (!m_timer->isActive()) {
        // Paused, the file is followed: one grown or cut short since it was read is sought within
        // the frames it holds now.
        const int32_t before = m_sequence->framesFound();
        if (!m_sequence->followFile(error))
            return false;
        if (m_sequence->framesFound() != before)
            frame = std::clamp(frame, 0, m_sequence->framesFound() - 1);
    }
    const SharedFrame shown = m_sequence->frame(frame, error);
    if (!shown)
        return false;
    show(shown, frame, false);
    // The frame sought stays a whole interval before playback moves on.
    if (m_timer->isActive())
        m_timer->start();
    readAhead();
    return true;
}

void Player::restartPace() {
    m_paceClock.start();
    m_tickCount = 0;
    m_framesPainted = 0;
}

void Player::reportPace(double tickMilliseconds) {
    if (m_tickCount < static_cast<int>(m_tickTimes.size()))
        m_tickTimes[static_cast<size_t>(m_tickCount)] = tickMilliseconds;
    ++m_tickCount;
    const qint64 elapsed = m_paceClock.elapsed();
    if (elapsed < 1000)
        return;
    const auto begin = m_tickTimes.begin();
    const auto end = begin + std::min<int>(m_tickCount, static_cast<int>(m_tickTimes.size()));
    std::nth_element(begin, begin + (end - begin) / 2, end);
    const double shown = m_framesPainted * 1000.0 / static_cast<double>(elapsed);
    qCDebug(playbackLog).noquote()
        << QStringLiteral("playback: %1 frames per second shown (file: %2), median tick %3 ms "
                          "of processor time")
               .arg(shown, 0, 'f', 1)
               .arg(static_cast<double>(m_sequence->frameRate()))
               .arg(*(begin + (end - begin) / 2), 0, 'f', 1);
    emit paceMeasured(shown);
    restartPace();
}
