#pragma once

#include "data/loop_range.h"
#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"
#include "render/color_legend.h"
#include "render/detail_level.h"
#include "render/frame_renderer.h"
#include "render/view_state.h"
#include "view/surface_picker.h"

#include <QElapsedTimer>
#include <QMatrix4x4>
#include <QOpenGLWidget>
#include <QPair>
#include <QPoint>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

#include <array>
#include <cstdint>
#include <cstdio>

class QTimer;
class ScanFrameStore;

// How long the mirror animation takes to turn the model over.
constexpr int kMirrorMilliseconds = 670;
// The mirror blend `elapsedMs` after a toggle: 0 as loaded, 1 mirrored, never beyond either.
float mirrorBlend(bool towardsMirrored, qint64 elapsedMs);

// The 3D view: has the renderer draw the frame held in the store, turns it with the mouse, switches
// styles from the keyboard (keys of its window, which a field being typed into keeps for itself), picks
// points, paints the overlays and plays PTV sequences from its timer.
class ViewerGLWidget : public QOpenGLWidget {
    Q_OBJECT

  public:
    enum MeshType { Shaded = 0, Wireframe = 1, PointCloud = 2 };
    enum MaterialType { Solid = 0, Texture = 1, Depth = 2, Jet = 3, Magma = 4, Viridis = 5 };
    enum ControlMethod { Rotate = 0, Translate = 1, Zoom = 2 };

    explicit ViewerGLWidget(ScanFrameStore &store, QWidget *parent = nullptr);
    ~ViewerGLWidget() override;

    void setControlMethod(ControlMethod method);
    // Starts the 670 ms mirror animation towards mirrored (true) or as loaded (false).
    void setShouldMirrorGeo(bool on);
    // Rebuilds statistics and mesh of the frame now in the store, places the camera and uploads.
    void loadFrameGeometry();
    // Places the camera from the store's statistics and uploads the arrays already built there (by
    // an export's worker thread, say), without building them again.
    void presentFrameGeometry();
    void rotateModel(float ax, float ay, float az);

    // Opens a sequence, shows at once the frame after the one shown last (the counter carries on)
    // and plays on at its frame rate. A file whose header or first frame cannot be read leaves the
    // view and the store as they were.
    bool openPTVFile(const QString &path, QString *error = nullptr);
    // Pauses: the frame on screen stays and is drawn from every pixel.
    void stopPTVPlayback();
    // Ends playback and nothing else, for a frame about to be replaced or a view about to go.
    void haltPTVPlayback();
    bool isPlaying() const { return m_ptvFile != nullptr; }
    // Shows frame `frame` of the sequence at once, decoded exactly as playback decodes it; a
    // playing sequence goes on from there. A paused one opens its file for the one read and takes
    // the header it reads there, calibration and frame count, seeking within the frames it holds
    // now when that count has changed.
    bool seekPtvFrame(int frame, QString *error = nullptr);
    // While held (the user drags the timeline) timer ticks show no frame of their own.
    void holdPlayback(bool hold) { m_playbackHeld = hold; }
    // Plays at `factor` times the file's rate. A machine that cannot keep up shows every frame,
    // late, rather than pass one over unseen.
    void setPlaybackSpeed(double factor);
    double playbackSpeed() const { return m_playbackSpeed; }
    // Playback loops over this range of the sequence; a seek may leave it, and the next tick comes
    // back. Another file starts without one.
    void setLoopRange(const LoopRange &range) { m_loopRange = range; }
    const LoopRange &loopRange() const { return m_loopRange; }
    // The header of the sequence opened last; framesFound is the number of frames it holds.
    const PtvHeader &ptvHeader() const { return m_ptvHeader; }
    // The keys the view answers and what its drags do, as (key or drag, effect) rows.
    static QVector<QPair<QString, QString>> keysAndMouse();

    // Colours the depths the frame on screen measures, from its nearest point to its farthest (the
    // range File Info shows), and lets the depth sliders reach them while the frame's box stays.
    // False, said in the status bar, when the frame measures nothing: the colours keep their range.
    bool fitColorRangeToFrame();
    // Where a depth slider (0 far, 100 near) stands for a depth; the inverse of what it sets.
    int sliderForDepth(float depth) const;
    // The share of its distance each notch of the wheel brings the model nearer, about the view's
    // centre; 0, the default, leaves the wheel without effect.
    void setWheelZoom(double step) { m_wheelStep = step; }

    // Clears to no colour at all where no surface is drawn, so a grabbed image can lie on any page.
    void setTransparentBackground(bool on);
    // Leaves out (or keeps) the triangles of the surface that join different depths; the factor is
    // how many pixel footprints an edge may span (depth_jumps.h). The frame on screen follows.
    void setDepthJumpRule(bool hide, double factor);
    // Automatic (the default): while the picture moves (playing, turning, panning, zooming) it may be
    // drawn from every second, fourth or eighth pixel, as the screen and the clock allow; within
    // 200 ms of the last movement, and whenever paused, it is drawn from every pixel. Off: always
    // every pixel.
    void setAutomaticDetail(bool on);
    // The stride of the picture on screen: 1 at full detail.
    int detailStride() const;
    // The picture on screen, drawn from every pixel whatever the level of detail (Snapshot).
    QImage fullDetailPicture();

    // Why the view draws only its background, or empty when it draws normally.
    QString glProblem() const { return m_glProblem; }

    // State a caller may read; written only by the widget itself.
    const ViewState &viewState() const { return m_state; }
    QVector3D rotation() const { return m_state.rotation; }
    QVector3D translation() const { return m_state.translation; }
    QVector3D colorZrange() const { return m_state.colorZrange; }
    QVector3D cameraOrigin() const { return m_state.cameraOrigin; }
    float lightIntensity() const { return m_state.lightIntensity; }
    float percentageMirrored() const { return m_state.mirrorBlend; }
    bool isAnimatingMirror() const { return m_isAnimatingMirror; }
    int ptvFrameCounter() const { return m_ptvFrameCounter; }
    int ptvInterval() const;
    // The matrices of the last paint.
    QMatrix4x4 modelMatrix() const { return m_renderer.matrices().model; }
    QMatrix4x4 viewMatrix() const { return m_renderer.matrices().view; }
    QMatrix4x4 projectionMatrix() const { return m_renderer.matrices().projection; }

    // The colour legend over the picture, for the depth colourings of a loaded frame. Off until
    // the owner turns it on, so a plain render shows the surface alone.
    void setLegendShown(bool shown);
    bool legendVisible() const;
    const ColorLegend &colorLegend() const { return m_legend; }
    // Shift + left click picks, Shift + right click clears; the window clears for a new file.
    const SurfacePicker &picker() const { return m_picker; }
    void clearPicks();
    // Decimals that suit lengths in the frame now shown.
    int sceneDecimals() const;

  signals:
    void clicked();
    void meshTypeWasChanged(int type);
    void materialTypeWasChanged(int type);
    // A text for the status bar: shader failures, a context without what the view needs, a frame
    // it cannot draw, and a sequence holding fewer frames than its header promises.
    void statusMessageRequested(const QString &text);
    // What the picks say (empty without picks), whenever a pick or the frame under it changes.
    void pickTextChanged(const QString &text);
    // The depth range of the colour ramps (lowEnd gets the ramp's last colour, highEnd its first),
    // when it changes and when a frame is loaded.
    void colorRangeChanged(float lowEnd, float highEnd);
    // A sequence frame is on screen: on opening or resuming, after each tick and each seek.
    void ptvFrameShown(int frame);
    // A frame could not be read while playing: playback has stopped with the last good frame on
    // screen, and the reason names the frame and what the file holds now.
    void playbackPaused(const QString &reason);
    // Once a second during playback: the frames per second actually shown.
    void playbackPaceMeasured(double framesPerSecond);
    // The picture is drawn at another stride: 1 at full detail, more while moving.
    void detailChanged(int stride);

  public slots:
    void resetModelRotation();
    void changeMeshType(int type);
    void changeMaterialType(int type);
    void changeMinZ(int minZ);
    void changeMaxZ(int maxZ);
    void changeLightIntensity(int lightIntensitySliderValue);
    void loadPTVFrameForDisplay();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

  private:
    void uploadGeometry();
    // Uploads the store's arrays now where the view has its context, else as soon as it gets one.
    void uploadWhenReady();
    // Builds the mesh of the frame in the store at `stride`; a mesh too large for the memory left is
    // drawn as nothing, and said, rather than ending the viewer.
    void buildMesh(int stride);
    // Builds the mesh of the frame on screen again and uploads it, as a setting of the mesh or the
    // level of detail changed; the framing stays.
    void rebuildMesh(int stride);
    // The picture moved (a drag, a wheel turn): coarser if the clock says so, and full detail again
    // once it rests.
    void noteMovement();
    void reportMovingPace();
    void showFullDetail();
    bool moving() const;
    QSize framebufferSize() const;
    // The stride at which the picture's samples land about one screen pixel apart.
    int screenStride() const;
    // Once a second during playback: the frames per second shown and the median processor
    // time of a tick, so a user can tell whether the machine keeps up with the file.
    void reportPlaybackPace(double tickMilliseconds);
    // The view's letter keys and Escape, answered wherever the focus is in the view's window.
    void answerKeys();
    float depthForSlider(int value) const;
    // The far and near depth the sliders run between: the frame's box, with the fitted depths.
    QVector2D sliderSpan() const;
    void colorRangeWasSet();
    void pickAt(const QPoint &position);
    // Where the view draws a measured point, in widget coordinates, with the mirror blend applied.
    std::optional<QPointF> screenPoint(const QVector3D &point) const;
    void paintOverlay();

    ScanFrameStore &m_store;
    FrameRenderer m_renderer;
    ViewState m_state;
    std::FILE *m_ptvFile = nullptr;
    PTVReader m_ptvReader;
    QString m_ptvPath;
    PtvHeader m_ptvHeader;
    PtvFrameDecoder m_ptvDecoder;
    QPoint m_lastMousePos;
    ControlMethod m_controlMethod = Rotate;
    // Started by each mirror toggle; a clock step of the wall clock cannot stall the animation.
    QElapsedTimer m_mirrorClock;
    QTimer *m_ptvTimer = nullptr;
    int m_ptvFrameCount = 0;
    int m_ptvFrameCounter = 1;
    int m_ptvHeaderSize = PtvHeader::kSize;
    qint64 m_ptvFrameSize = 0;
    int m_mirrorFrameCount = 0;
    bool m_firstPtvFrame = true;
    bool m_framingNewSequence = true;
    bool m_isAnimatingMirror = false;
    bool m_shouldMirrorGeo = false;
    bool m_geometryPending = false;
    bool m_playbackHeld = false;
    QString m_glProblem;
    SurfacePicker m_picker;
    ColorLegend m_legend;
    bool m_legendShown = false;
    bool m_frameLoaded = false;
    // A Shift click picks; the drag that may follow it turns nothing.
    bool m_pickGesture = false;
    QElapsedTimer m_paceClock;
    std::array<double, 128> m_tickTimes{};
    int m_tickCount = 0;
    int m_framesPainted = 0;
    bool m_newFrameUploaded = false;
    DetailLevel m_detail;
    // Runs for 200 ms after each movement; when it ends the picture rests.
    QTimer *m_stillTimer = nullptr;
    // From the start of a frame's mesh build (or of a paint) to the end of its paint.
    QElapsedTimer m_pictureClock;
    double m_lastPictureMs = 0.0;
    QElapsedTimer m_movingClock;
    int m_movingPictures = 0;
    // The depths of the last fit (near, far) and the box (near, far) of the frame they were fitted to.
    QVector2D m_fittedDepths;
    QVector2D m_fittedBox;
    double m_wheelStep = 0.0;
    double m_playbackSpeed = 1.0;
    LoopRange m_loopRange;
};
