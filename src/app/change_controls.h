#pragma once

#include "render/scan_session.h"

#include <QObject>
#include <QPair>
#include <QPoint>
#include <QString>
#include <QVector>

#include <optional>

class DepthAnalysis;
class DepthPlotDock;
class FrameSequence;
class QAction;
class QComboBox;
class QDoubleSpinBox;
class QMainWindow;
class QSpinBox;
class ViewerGLWidget;
class ViewerWindowForm;

// What studies change in a 3D video, around the view: the reference and the range of the Change
// colouring and the Noise colouring (a group of the Settings dock), "Set reference frame" and the
// pins (the Playback menu, Ctrl + click), the Depth over time dock, and the reading in the
// background that they need (DepthAnalysis). The window says which file is open and which frame is
// on screen; everything else is wired here.
class ChangeControls : public QObject {
    Q_OBJECT

  public:
    ChangeControls(ViewerWindowForm &ui, ViewerGLWidget &view, QMainWindow *window);

    // A 3D video is open: its noise is read anew, and the reference and the pins go.
    void videoOpened(FrameSequence &sequence);
    // A single frame is open: nothing changes in it.
    void frameOpened();
    // Frame `frame` of the video is on screen.
    void frameShown(int frame, bool playing);
    // The File Info row of the noise around the frame on screen, once read; empty before.
    QPair<QString, QString> noiseRow() const { return m_noiseRow; }

    DepthPlotDock &plot() { return *m_plot; }
    QComboBox &referenceBox() { return *m_reference; }
    QSpinBox &meanFramesBox() { return *m_meanFrames; }
    QDoubleSpinBox &rangeBox() { return *m_range; }
    // The reference frame set, or -1.
    int referenceFrame() const { return m_referenceFrame; }
    // What a scan's session keeps: the pins, and the reference when it is not the frame before.
    const QVector<QPoint> &pins() const;
    std::optional<SessionReference> reference() const;
    // Takes them back for the video just opened; pins outside its frames and a frame it does not
    // hold are passed over.
    void restore(const QVector<QPoint> &pins, const std::optional<SessionReference> &reference);

  signals:
    void seekRequested(int frame, bool pause);
    void statusMessage(const QString &text);
    // The noise row changed: File Info may show it.
    void noiseRowChanged();

  private:
    void buildSettings();
    void setReferenceFrame();
    // The reference the dock's list names: the frame before, the frame set, or the mean.
    void followReference();
    void followRange();
    void followColouring(int materialType);
    void pin(const QPoint &pixel);
    void pinsChanged();
    void exportSeries();
    void askNoiseIfNeeded();

    ViewerWindowForm &ui;
    ViewerGLWidget &m_view;
    QMainWindow *m_window;
    DepthAnalysis *m_analysis;
    DepthPlotDock *m_plot;
    QComboBox *m_reference = nullptr;
    QSpinBox *m_meanFrames = nullptr;
    QDoubleSpinBox *m_range = nullptr;
    QAction *m_setReference = nullptr;
    QAction *m_comparePrevious = nullptr;
    QAction *m_clearPins = nullptr;
    FrameSequence *m_sequence = nullptr;
    int m_frame = 0;
    bool m_playing = false;
    int m_referenceFrame = -1;
    float m_noise = 0.0f;
    QPair<QString, QString> m_noiseRow;
};
