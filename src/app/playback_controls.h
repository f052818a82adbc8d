#pragma once

#include "app/playback_speed.h"

#include <QObject>
#include <QString>

class QProgressBar;
class QPushButton;
class RangeSave;
class ScanFrameStore;
class ViewerGLWidget;
class ViewerWindowForm;

// The controls that study motion in a sequence: the speed, the loop range and steps of one second,
// from the Playback menu's keys and the timeline. They set the view's playback and show on the
// timeline; their seeks go through the window, which pauses and reports as for any other step.
class PlaybackControls : public QObject {
    Q_OBJECT

  public:
    // `store` holds the frame on screen and the sequence's path.
    PlaybackControls(ViewerWindowForm &ui, ViewerGLWidget &view, const ScanFrameStore &store,
                     QObject *parent);

    // Follows the sequence controls: on while a sequence is open.
    void setEnabled(bool enabled);
    // The timeline marks the loop range as it falls within the frames the file holds now.
    void showLoopRange();
    const PlaybackSpeed &speed() const { return m_speed; }

    // The Save dialog's choice for the loop range, or empty without one.
    QString rangeFilter() const;
    // Starts writing the frames of the loop range, one file each, numbered by their index in the
    // file, as `pelnor convert` writes them, while the window goes on. The status bar shows how far
    // the save is, with a button that cancels it; rangeSaveEnded tells how it ended.
    void saveRange(const QString &name);

  signals:
    // Show frame `frame` of the sequence (clamped to the file), pausing first.
    void seekRequested(int frame, bool pause);
    // A save of the range has ended, or could not start: what was written, or why not all of it.
    void rangeSaveEnded(const QString &said, bool saved);

  private:
    void setSpeed(int step);
    void setLoopStart();
    void setLoopEnd();
    void clearLoop();
    void stepSeconds(int seconds);

    ViewerWindowForm &ui;
    ViewerGLWidget &m_view;
    const ScanFrameStore &m_store;
    PlaybackSpeed m_speed;
    RangeSave *m_save;
    QProgressBar *m_saveProgress;
    QPushButton *m_cancelSave;
};
