#pragma once

#include "render/scan_session.h"
#include "sequence/sequence_depths.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QComboBox;
class ViewerGLWidget;

// The colour scale of the depth ramps, as the dock's "Colour scale" list chooses it: from the first
// frame, this frame, the whole video or fixed. The view keeps the range; a whole video's range is
// measured here, from every frame of the file through a source of its own on a thread of its own,
// while playback goes on with its cache untouched; until it comes the legend says "provisional".
class DepthScaleControl : public QObject {
    Q_OBJECT

  public:
    DepthScaleControl(QComboBox &list, ViewerGLWidget &view, QObject *parent);

    // A file is shown, with the scale its session kept, if any; else the scale stays, and a whole
    // video's is measured again for this file. A whole video's range kept is taken as it is where it
    // was measured from this very file (`rangeHolds`).
    void fileOpened(const QString &path, const std::optional<SessionColours> &kept, bool rangeHolds);
    // The region changed: a whole video's range is measured again over what it keeps.
    void regionChanged();
    // The scale on screen, for a session.
    SessionColours current() const;

  signals:
    // A text for the status bar.
    void statusMessage(const QString &text, bool failed);
    // A session's range was taken as it was kept.
    void rangeKept();

  private:
    void choose(int scale);
    void follow(int scale);
    void startMeasuring();
    void measured(uint64_t generation, bool ok, const SequenceDepths &depths, const QString &error);

    QComboBox &m_list;
    ViewerGLWidget &m_view;
    QString m_path;
    SequenceDepthScan m_scan;
    // Moves on with every scan started, so the answer of one stopped or replaced is dropped.
    uint64_t m_generation = 0;
    QElapsedTimer m_clock;
};
