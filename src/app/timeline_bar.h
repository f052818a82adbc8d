#pragma once

#include "app/playback_speed.h"

#include <QSlider>
#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;

// A slider that jumps to the frame under the pointer on a click, instead of paging towards it,
// and keeps following the drag from there.
class TimelineSlider : public QSlider {
    Q_OBJECT

  public:
    explicit TimelineSlider(QWidget *parent = nullptr);
    // Marks frames first to last under the groove; a negative first marks none.
    void setLoop(int first, int last);
    // Marks the reference frame of the Change colouring above the groove; a negative frame marks none.
    void setReference(int frame);

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    // The tool tip: the loop range and the reference, as far as they are set.
    void explain();

    int m_loopFirst = -1;
    int m_loopLast = -1;
    int m_reference = -1;
};

// The strip under the view while a sequence is open: where playback is, a slider that reaches every
// frame the file holds, the frame number (its index in the file, from 0), the time into the
// sequence, the pace of playback against the file's rate, and a note when the file is cut short.
// Where the window is too narrow for the readout beside a slider of a usable length, the readout
// moves to a row of its own under the slider, leaving out the speed, which the speed control shows.
class TimelineBar : public QWidget {
    Q_OBJECT

  public:
    explicit TimelineBar(QWidget *parent = nullptr);

    // A sequence holding `frames` complete frames of the `promised` its header names, `rate` per second.
    void setSequence(int frames, int promised, double rate);
    // Moves the handle and the readout to `frame` without asking for it again.
    void showFrame(int frame);
    // The frames per second actually shown while playing, against the rate asked for; a negative
    // value means none measured yet.
    void showPace(double shownPerSecond);
    // Paused, the time is told to the millisecond, for a frame a user studies.
    void showPlaying(bool playing);
    // The speed control and the readout follow `speed`; the readout names it when it is not 1x.
    void showSpeed(const PlaybackSpeed &speed);
    // The loop range, frames first to last, on the slider; a negative first shows none.
    void showLoop(int first, int last);
    // The Change colouring's reference frame on the slider; negative shows none.
    void showReference(int frame);
    int frame() const;
    int frameCount() const { return m_frames; }
    // The shortest the slider gets.
    static constexpr int kSliderMinimum = 200;

  signals:
    // The user clicked or dragged the slider to `frame`.
    void frameRequested(int frame);
    // True while the user holds the handle.
    void scrubbing(bool held);
    // The user chose step `step` of the speed ladder.
    void speedChosen(int step);

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    // The readout beside the slider where the bar is wide enough, under it otherwise.
    void arrange();
    // The width the bar takes with the readout beside the slider.
    int oneRowWidth() const;

    TimelineSlider *m_slider;
    QLabel *m_frameLabel;
    QLabel *m_timeLabel;
    QLabel *m_paceLabel;
    QLabel *m_shortLabel;
    QComboBox *m_speedBox;
    QHBoxLayout *m_sliderRow;
    QHBoxLayout *m_readoutRow;
    // The pace's width with the speed named and without it.
    int m_paceWidth = 0;
    int m_shortPaceWidth = 0;
    bool m_twoRows = false;
    double m_pace = -1.0;
    int m_frames = 0;
    int m_promised = 0;
    double m_rate = 0.0;
    PlaybackSpeed m_speed;
    bool m_playing = false;
};
