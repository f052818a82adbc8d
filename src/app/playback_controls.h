#pragma once

#include "app/playback_speed.h"

#include <QObject>
#include <QString>

class Player;
class QProgressBar;
class QPushButton;
class RangeSave;
class ViewerGLWidget;
class ViewerWindowForm;

// The controls that study motion in a sequence: the speed, the loop range and steps of one second,
// from the Playback menu's keys and the timeline. They set the player and show on the timeline; their
// seeks go through the window, which pauses and reports as for any other step.
class PlaybackControls : public QObject {
    Q_OBJECT

  public:
    // `view` shows the frames and says how they are meshed (a range is saved as they are).
    PlaybackControls(ViewerWindowForm &ui, Player &player, const ViewerGLWidget &view, QObject *parent);

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
    Player &m_player;
    const ViewerGLWidget &m_view;
    PlaybackSpeed m_speed;
    RangeSave *m_save;
    QProgressBar *m_saveProgress;
    QPushButton *m_cancelSave;
};
