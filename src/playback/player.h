#pragma once

#include "data/loop_range.h"
#include "sequence/frame_sequence.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>

class QTimer;

// What it means to play a 3D video: the clock at the file's rate times the speed, the frame-counter
// rule and the loop range, seeking, holding while the timeline is dragged, and the pace actually
// reached. It asks the sequence for frame k and hands each frame on; whoever shows it says when it is
// painted, and until then the next tick waits, so a machine that cannot keep up shows every frame
// late instead of passing one over.
class Player : public QObject {
    Q_OBJECT

  public:
    explicit Player(QObject *parent = nullptr);
    ~Player() override;

    // Plays `sequence` (opened by the caller, which keeps it while it plays) from the frame after the
    // one shown last, which is shown at once. Playing the file played before resumes it: its loop
    // range stays, and the header is read again for a file that grew or was cut short. Another
    // file plays whole and is framed on its first frame. A frame that cannot be read leaves
    // everything as it was.
    bool play(FrameSequence &sequence, QString *error);
    // Stops the clock; the frame on screen stays.
    void pause();
    // Lets go of the sequence: another file is shown now.
    void stop();
    bool isPlaying() const;
    // Shows frame `frame` at once. Paused, the header is read again first and the frame is sought
    // within the frames the file holds now; playing, it stays a whole interval before the next.
    bool seek(int frame, QString *error);
    // While held (the user drags the timeline) ticks show no frame of their own.
    void hold(bool held) { m_held = held; }
    // Plays at `factor` times the file's rate.
    void setSpeed(double factor);
    double speed() const { return m_speed; }
    // Playback loops over this range; a seek may leave it, and the next tick comes back.
    void setLoopRange(const LoopRange &range) { m_range = range; }
    const LoopRange &loopRange() const { return m_range; }
    // The index of the frame shown last.
    int frameShown() const { return m_counter; }
    // A single frame was shown: the counter starts again where the file's loop starts.
    void forgetCounter() { m_counter = 1; }
    // Milliseconds between ticks at the speed set.
    int interval() const;
    const FrameSequence *sequence() const { return m_sequence; }

  public slots:
    // The frame handed on last has been painted (or will not be, its window being out of sight).
    void framePainted();

  signals:
    // Show `frame`, frame `index` of the sequence; `frameIt` asks for the camera to be placed on it.
    void frameReady(const SharedFrame &frame, int index, bool frameIt);
    // Playing started or stopped, or its interval between frames changed.
    void playingChanged(bool playing, int intervalMs);
    // A frame could not be read while playing: playback has paused with the last good frame on
    // screen, and the reason names the frame and what the file holds now.
    void paused(const QString &reason);
    // Once a second while playing: the frames per second actually shown.
    void paceMeasured(double framesPerSecond);
    // A text for the status bar: a sequence holding fewer frames than its header promises.
    void statusMessage(const QString &text);

  private:
    void tick();
    void show(const SharedFrame &frame, int index, bool frameIt);
    // Tells the sequence which frames the next ticks will want.
    void readAhead();
    void restartPace();
    // Once a second while playing: the frames per second shown and the median processor time of a
    // tick, so a user can tell whether the machine keeps up with the file.
    void reportPace(double tickMilliseconds);

    FrameSequence *m_sequence = nullptr;
    QString m_path;
    QTimer *m_timer;
    int m_counter = 1;
    double m_speed = 1.0;
    LoopRange m_range;
    bool m_held = false;
    bool m_unpainted = false;
    QElapsedTimer m_paceClock;
    std::array<double, 128> m_tickTimes{};
    int m_tickCount = 0;
    int m_framesPainted = 0;
};
