#pragma once

#include "data/frame_mesh.h"
#include "render/camera_view.h"
#include "render/color_legend.h"
#include "render/depth_colors.h"
#include "render/detail_level.h"
#include "render/frame_renderer.h"
#include "render/view_state.h"
#include "view/change_values.h"
#include "view/surface_picker.h"

#include <memory>

#include <QColor>
#include <QElapsedTimer>
#include <QMatrix4x4>
#include <QOpenGLWidget>
#include <QPair>
#include <QPoint>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

#include <optional>

#include <cstdint>

class QTimer;
class ScanFrameStore;
using SharedFrame = std::shared_ptr<const ScanFrameStore>;

// The 3D view: has the renderer draw the frame it is handed, turns it with the mouse, switches styles
// from the keyboard (keys of its window, which a field being typed into keeps for itself), picks
// points and paints the overlays. It opens no file and keeps no clock: the window hands it each frame
// (a player, each frame of a sequence) and says while a sequence plays, so that it draws as coarsely
// as the frame interval needs.
class ViewerGLWidget : public QOpenGLWidget {
    Q_OBJECT

  public:
    enum ControlMethod { Rotate = 0, Translate = 1, Zoom = 2 };

    explicit ViewerGLWidget(QWidget *parent = nullptr);
    ~ViewerGLWidget() override;

    void setControlMethod(ControlMethod method);
    // Starts the 670 ms mirror animation towards mirrored (true) or as loaded (false).
    void setShouldMirrorGeo(bool on);
    // Shows `frame`: builds its mesh at the level of detail the moment asks for and uploads it; with
    // `frameIt` the camera is placed on it (a new file), else the framing of the frame before stays
    // (the next frame of a sequence). Picks stay on their pixels.
    void showFrame(const SharedFrame &frame, bool frameIt);
    // The frame on screen, or null before the first.
    const SharedFrame &frame() const { return m_frame; }
    // A sequence plays, one frame every `intervalMs`: its frames are drawn as coarsely as the screen
    // and that interval need. Paused, the frame on screen is drawn from every pixel again.
    void setPlaying(bool playing, int intervalMs);
    bool isPlaying() const { return m_playing; }
    void rotateModel(float ax, float ay, float az);

    // The keys the view answers and what its drags do, as (key or drag, effect) rows.
    static QVector<QPair<QString, QString>> keysAndMouse();

    // Colours the bulk of the depths the frame on screen measures (the 1st to the 99th percentile)
    // and keeps each frame shown after it so fitted (the scale "this frame"); the depth sliders reach
    // those depths while the frame's box stays. False, said in the status bar, when the frame
    // measures nothing: the colours keep their range.
    bool fitColorRangeToFrame();
    // Takes the colours' range by the scale's rule from the frame on screen: the first frame's box
    // (that of the framing; before any frame, the next frame shown takes its own), a fit to this
    // frame (and each after it), or, for a whole video until its range comes, a fit to this frame
    // marked provisional; fixed keeps the range as it is.
    void setDepthScale(DepthScale scale);
    // A range worked out elsewhere: a whole video's, or one a session kept.
    void setDepthRange(DepthScale scale, float nearDepth, float farDepth, bool provisional = false);
    const DepthColors &depthColors() const { return m_depthColors; }
    // The camera as a user placed it (turn, pan, zoom, mirror), and placing it so at once.
    CameraView cameraView() const;
    void applyCameraView(const CameraView &view);
    // Where a depth slider (0 far, 100 near) stands for a depth; the inverse of what it sets.
    int sliderForDepth(float depth) const;
    // The share of its distance each notch of the wheel brings the model nearer, about the view's
    // centre; 0, the default, leaves the wheel without effect.
    void setWheelZoom(double step) { m_wheelStep = step; }

    // Clears to no colour at all where no surface is drawn, so a grabbed image can lie on any page.
    void setTransparentBackground(bool on);
    // Draws only the surface the region keeps, with the box's outline while it is set; picks land only
    // on kept surface, and a pick the region cuts away measures nothing. Every frame after keeps it.
    void setRegion(const Region &region);
    // Leaves out (or keeps) the triangles of the surface that join different depths; the factor is
    // how many pixel footprints an edge may span (depth_jumps.h). The frame on screen follows.
    void setDepthJumpRule(bool hide, double factor);
    // Eye-dome lighting (EyeDome in view_state.h) in the styles whose bit `styles` sets, at
    // `strength` (0 to 5) and `radius` pixels (1 to 4). At first: in the Points style, strength 1.
    void setEyeDome(uint32_t styles, double strength, double radius);
    // Points `pixels` wide, or kAutomaticPointSize (the first setting): as wide as the distance to
    // their neighbours.
    void setPointSize(int pixels);
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

    // What the picture depends on besides the frame, and the matrices of the last paint; written
    // only by the widget itself.
    const ViewState &viewState() const { return m_state; }
    const ViewMatrices &matrices() const { return m_renderer.matrices(); }
    bool isAnimatingMirror() const { return m_isAnimatingMirror; }
    // The mesh of the frame on screen, as last built.
    const FrameMesh &mesh() const { return m_mesh; }
    // The depth-jump rule the frames are meshed with (the stride is detailStride's).
    const MeshSettings &meshSettings() const { return m_rule; }

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

    // What the Change and Noise colourings colour by: the reference of the change and the noise map
    // (change_values.h). The frame on screen is coloured again at once.
    ChangeValues &changeValues() { return m_values; }
    void changeValuesChanged();
    // The change that takes the Change colouring's last colour, and the change within which a pixel
    // stays neutral (ViewState::valueRange).
    void setValueRange(float range, float neutral);
    // The pinned pixels, each marked in its colour where the frame on screen measures it.
    void setPins(const QVector<QPoint> &pixels, const QVector<QColor> &colours);

  signals:
    void clicked();
    void meshTypeWasChanged(int type);
    void materialTypeWasChanged(int type);
    // A text for the status bar: shader failures, a context without what the view needs, a frame
    // it cannot draw, and a sequence holding fewer frames than its header promises.
    void statusMessageRequested(const QString &text);
    // What the picks say (empty without picks), whenever a pick or the frame under it changes.
    void pickTextChanged(const QString &text);
    // Ctrl + left click on the surface asks for a pin at the pixel that measured it.
    void pinRequested(const QPoint &pixel);
    // The depth range of the colour ramps (lowEnd gets the ramp's last colour, highEnd its first),
    // when it changes and when a frame is loaded.
    void colorRangeChanged(float lowEnd, float highEnd);
    // The scale the range comes from changed (a DepthScale): a slider moved, F, a choice.
    void depthScaleChanged(int scale);
    // The frame handed over last has been painted, or will not be while the window is out of sight.
    void framePainted();
    // The picture is drawn at another stride: 1 at full detail, more while moving.
    void detailChanged(int stride);

  public slots:
    void resetModelRotation();
    void changeMeshType(int type);
    void changeMaterialType(int type);
    void changeMinZ(int minZ);
    void changeMaxZ(int maxZ);
    void changeLightIntensity(int lightIntensitySliderValue);

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
    // Uploads the mesh now where the view has its context, else as soon as it gets one.
    void uploadWhenReady();
    // Builds the mesh of the frame on screen at `stride`; a mesh too large for the memory left is
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
    // The view's letter keys and Escape, answered wherever the focus is in the view's window.
    void answerKeys();
    void colorRangeWasSet();
    // The measured pixel under a position of the view, read back from the picture drawn at full
    // detail; said in the status bar when there is none.
    std::optional<QPoint> pixelAt(const QPoint &position, const QString &nothing);
    // The range now comes from `scale`: the legend says so, and whoever follows the scale hears it.
    void followDepthScale(DepthScale scale, bool provisional);
    void pickAt(const QPoint &position);
    // The picks' text, with the Change or Noise value at the last pick.
    QString pickText();
    void paintPins(QPainter &painter);
    void paintOverlay();
    bool coloursByValue() const;

    SharedFrame m_frame;
    FrameMesh m_mesh;
    // The depth-jump rule asked for; the stride is each build's own.
    MeshSettings m_rule;
    FrameRenderer m_renderer;
    ViewState m_state;
    QPoint m_lastMousePos;
    ControlMethod m_controlMethod = Rotate;
    // Started by each mirror toggle; a clock step of the wall clock cannot stall the animation.
    QElapsedTimer m_mirrorClock;
    int m_mirrorFrameCount = 0;
    bool m_playing = false;
    int m_playingIntervalMs = 0;
    bool m_isAnimatingMirror = false;
    bool m_shouldMirrorGeo = false;
    bool m_geometryPending = false;
    QString m_glProblem;
    SurfacePicker m_picker;
    ColorLegend m_legend;
    bool m_legendShown = false;
    // A Shift click picks; the drag that may follow it turns nothing.
    bool m_pickGesture = false;
    bool m_newFrameUploaded = false;
    DetailLevel m_detail;
    // Runs for 200 ms after each movement; when it ends the picture rests.
    QTimer *m_stillTimer = nullptr;
    // From the start of a frame's mesh build (or of a paint) to the end of its paint.
    QElapsedTimer m_pictureClock;
    double m_lastPictureMs = 0.0;
    QElapsedTimer m_movingClock;
    int m_movingPictures = 0;
    DepthColors m_depthColors;
    double m_wheelStep = 0.0;
    ChangeValues m_values;
    // Whether the mesh on screen carries values (else a colouring by value has none yet: solid).
    bool m_meshHasValues = false;
    QVector<QPoint> m_pins;
    QVector<QColor> m_pinColours;
};
