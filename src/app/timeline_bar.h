#pragma once

#include <QSlider>
#include <QWidget>

class QLabel;

// A slider that jumps to the frame under the pointer on a click, instead of paging towards it,
// and keeps following the drag from there.
class TimelineSlider : public QSlider {
    Q_OBJECT

  public:
    explicit TimelineSlider(QWidget *parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The strip under the view while a sequence is open: where playback is, a slider that reaches every
// frame the file holds, the frame number (its index in the file, from 0), the time into the
// sequence, the pace of playback against the file's rate, and a note when the file is cut short.
class TimelineBar : public QWidget {
    Q_OBJECT

  public:
    explicit TimelineBar(QWidget *parent = nullptr);

    // A sequence holding `frames` complete frames of the `promised` its header names, `rate` per second.
    void setSequence(int frames, int promised, double rate);
    // Moves the handle and the readout to `frame` without asking for it again.
    void showFrame(int frame);
    // The frames per second actually shown while playing; a negative value means paused.
    void showPace(double shownPerSecond);
    int frame() const;
    int frameCount() const { return m_frames; }

  signals:
    // The user clicked or dragged the slider to `frame`.
    void frameRequested(int frame);
    // True while the user holds the handle.
    void scrubbing(bool held);

  private:
    TimelineSlider *m_slider;
    QLabel *m_frameLabel;
    QLabel *m_timeLabel;
    QLabel *m_paceLabel;
    QLabel *m_shortLabel;
    int m_frames = 0;
    int m_promised = 0;
    double m_rate = 0.0;
};
