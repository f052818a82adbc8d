#include "view/viewer_gl_widget.h"

#include "view/viewer_log.h"

#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "data/scan_frame_store.h"
#include "geometry/measured_point.h"
#include "render/scene_numbers.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

Q_LOGGING_CATEGORY(viewerLog, "pelnor.viewer", QtInfoMsg)

namespace {

// How long a picture rests before it is drawn from every pixel again, and the budget of a picture
// while the mouse moves the model.
constexpr int kRestMilliseconds = 200;
constexpr double kDragBudgetMs = 40.0;

} // namespace

ViewerGLWidget::ViewerGLWidget(QWidget *parent) : QOpenGLWidget(parent) {
    // Until a frame comes, the framing and the colours are those of an empty 640 x 480 frame.
    ScanFrameStore startUp{ScanFrameStore::NoFrame{}};
    startUp.width = 640;
    startUp.height = 480;
    startUp.resetStatistics();
    frameOn(startUp, m_state);
    const float c = m_state.framing.centre.z();
    const float e = m_state.framing.boxMax.z() - m_state.framing.boxMin.z();
    m_state.colorZrange = QVector3D(c - e / 2.0f, c + e / 2.0f, 0.0f);
    m_legend.setRange(m_state.colorZrange.x(), m_state.colorZrange.y());
    // As `pelnor render` starts, so that a picture of the tool is one of the view.
    m_state.eyeDome.styles = kDefaultEyeDomeStyles;
    m_state.pointPixels = kAutomaticPointSize;
    m_legend.setNote(m_depthColors.legendNote());
    m_stillTimer = new QTimer(this);
    m_stillTimer->setSingleShot(true);
    m_stillTimer->setInterval(kRestMilliseconds);
    connect(m_stillTimer, &QTimer::timeout, this, [this] {
        if (!moving())
            showFullDetail();
    });
    // Clicked, the view takes the keys back from a field of the window.
    setFocusPolicy(Qt::StrongFocus);
    answerKeys();
}

ViewerGLWidget::~ViewerGLWidget() {
    if (context()) {
        makeCurrent();
        m_renderer.release();
        doneCurrent();
    }
}

void ViewerGLWidget::setControlMethod(ControlMethod method) {
    m_controlMethod = method;
}

void ViewerGLWidget::setShouldMirrorGeo(bool on) {
    m_isAnimatingMirror = true;
    m_mirrorFrameCount = 0;
    m_shouldMirrorGeo = on;
    m_mirrorClock.start();
    noteMovement();
    update();
}

void ViewerGLWidget::resetModelRotation() {
    // A sequence is framed again on the frame on screen.
    if (m_frame && m_frame->frameKind == PtvFrame)
        frameOn(*m_frame, m_state);
    m_state.rotation = QVector3D();
    m_state.translation = QVector3D();
    update();
}

void ViewerGLWidget::changeMeshType(int type) {
    qCDebug(viewerLog).noquote() << "mesh type:" << type;
    m_state.meshType = type;
    update();
}

void ViewerGLWidget::changeMaterialType(int type) {
    qCDebug(viewerLog).noquote() << "material type:" << type;
    const bool valuesBefore = coloursByValue();
    m_state.materialType = type;
    // The mesh carries the texture or the values in its colours.
    if (m_frame && (valuesBefore || coloursByValue()))
        rebuildMesh(m_mesh.settings.stride);
    if (m_picker.count() > 0)
        emit pickTextChanged(pickText());
    update();
}

bool ViewerGLWidget::coloursByValue() const {
    return m_state.materialType == Change || m_state.materialType == Noise;
}

void ViewerGLWidget::changeValuesChanged() {
    if (m_frame && coloursByValue())
        rebuildMesh(m_mesh.settings.stride);
    if (m_picker.count() > 0)
        emit pickTextChanged(pickText());
}

void ViewerGLWidget::setValueRange(float range, float neutral) {
    m_state.valueRange = range;
    m_state.valueNeutral = neutral;
    m_legend.setValueRange(range, neutral);
    update();
}

void ViewerGLWidget::setPins(const QVector<QPoint> &pixels, const QVector<QColor> &colours) {
    m_pins = pixels;
    m_pinColours = colours;
    update();
}

int ViewerGLWidget::sliderForDepth(float depth) const {
    return m_depthColors.sliderForDepth(m_state, depth);
}

bool ViewerGLWidget::fitColorRangeToFrame() {
    if (!m_frame || !m_depthColors.fit(m_state, *m_frame)) {
        emit statusMessageRequested(QStringLiteral("Nothing measured to fit the colours to"));
        return false;
    }
    followDepthScale(DepthScale::ThisFrame, false);
    return true;
}

void ViewerGLWidget::setDepthScale(DepthScale scale) {
    switch (scale) {
    case DepthScale::FirstFrame:
        // Before any frame the range stays, and the first frame takes its own.
        m_state.depthRangeTaken = false;
        if (m_frame)
            takeFirstDepthRange(m_state);
        break;
    case DepthScale::ThisFrame:
        fitColorRangeToFrame();
        return;
    case DepthScale::Sequence:
        if (m_frame)
            m_depthColors.fit(m_state, *m_frame);
        break;
    case DepthScale::Fixed:
        break;
    }
    followDepthScale(scale, scale == DepthScale::Sequence);
}

void ViewerGLWidget::setDepthRange(DepthScale scale, float nearDepth, float farDepth, bool provisional) {
    m_depthColors.setFitted(m_state, nearDepth, farDepth);
    followDepthScale(scale, provisional);
}

void ViewerGLWidget::followDepthScale(DepthScale scale, bool provisional) {
    const bool changed = scale != m_depthColors.scale();
    m_depthColors.setScale(scale, provisional);
    colorRangeWasSet();
    if (changed)
        emit depthScaleChanged(static_cast<int>(scale));
}

CameraView ViewerGLWidget::cameraView() const {
    CameraView view = CameraView::of(m_state);
    view.mirrored = m_shouldMirrorGeo;
    return view;
}

void ViewerGLWidget::applyCameraView(const CameraView &view) {
    view.applyTo(m_state);
    m_shouldMirrorGeo = view.mirrored;
    m_isAnimatingMirror = false;
    m_mirrorClock.invalidate();
    update();
}

// A slider moved by hand fixes the range where it puts it.
void ViewerGLWidget::changeMinZ(int minZ) {
    m_depthColors.setFirstColourSlider(m_state, minZ);
    followDepthScale(DepthScale::Fixed, false);
}

void ViewerGLWidget::changeMaxZ(int maxZ) {
    m_depthColors.setLastColourSlider(m_state, maxZ);
    followDepthScale(DepthScale::Fixed, false);
}

void ViewerGLWidget::colorRangeWasSet() {
    m_legend.setRange(m_state.colorZrange.x(), m_state.colorZrange.y());
    m_legend.setNote(m_depthColors.legendNote());
    emit colorRangeChanged(m_state.colorZrange.x(), m_state.colorZrange.y());
    update();
}

void ViewerGLWidget::setLegendShown(bool shown) {
    m_legendShown = shown;
    update();
}

bool ViewerGLWidget::legendVisible() const {
    return m_legendShown && m_frame && ColorLegend::hasScale(m_state.materialType);
}

int ViewerGLWidget::sceneDecimals() const {
    return ::sceneDecimals(m_state.framing);
}

void ViewerGLWidget::clearPicks() {
    m_picker.clear();
    emit pickTextChanged(QString());
    update();
}

// Reads the depth the last paint left under the cursor, turns it back into a model point with that
// paint's matrices, and finds the pixel whose measurement lies there.
std::optional<QPoint> ViewerGLWidget::pixelAt(const QPoint &position, const QString &nothing) {
    if (!m_frame || !m_renderer.isReady() || !context() || m_renderer.indexCount() == 0) {
        emit statusMessageRequested(nothing);
        return std::nullopt;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize framebuffer(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
    const int x = static_cast<int>(position.x() * ratio), y = static_cast<int>(position.y() * ratio);
    if (x < 0 || y < 0 || x >= framebuffer.width() || y >= framebuffer.height())
        return std::nullopt;
    // The depth read back must be that of the surface drawn from every pixel.
    if (m_mesh.settings.stride != 1) {
        rebuildMesh(1);
        repaint();
    }
    // A wireframe or a point cloud leaves background between its lines and points: the drawn texel
    // nearest the cursor within a few pixels is taken.
    constexpr int kReach = 4;
    const QRect block = QRect(x - kReach, y - kReach, 2 * kReach + 1, 2 * kReach + 1)
                            .intersected(QRect(QPoint(0, 0), framebuffer));
    std::array<float, (2 * kReach + 1) * (2 * kReach + 1)> depths;
    depths.fill(1.0f);
    makeCurrent();
    m_renderer.readDepths(block, framebuffer.height(), depths.data());
    doneCurrent();
    const std::optional<QVector3D> drawn = SurfacePicker::modelPointNear(
        QPoint(x, y), block, depths.data(), framebuffer, m_renderer.matrices(), m_state);
    // The depth buffer holds only kept surface; the pixel found for it must be kept too.
    const std::optional<QPoint> pixel =
        drawn ? nearestMeasuredPixel(*m_frame, *drawn, m_state.region) : std::nullopt;
    if (!pixel)
        emit statusMessageRequested(nothing);
    return pixel;
}

void ViewerGLWidget::pickAt(const QPoint &position) {
    const std::optional<QPoint> pixel =
        pixelAt(position, QStringLiteral("Nothing picked: no surface under the cursor"));
    if (!pixel)
        return;
    m_picker.add(*pixel, *m_frame);
    emit pickTextChanged(pickText());
    update();
}

QString ViewerGLWidget::pickText() {
    QString text = m_picker.text(sceneDecimals());
    if (m_picker.count() == 0 || !coloursByValue())
        return text;
    const float value = m_values.valueAt(m_state.materialType, m_picker.pick(m_picker.count() - 1).pixel);
    const QString number = sceneNumber(std::fabs(value), sceneDecimals() + 1);
    if (!std::isfinite(value))
        return text + (m_state.materialType == Change
                           ? QStringLiteral("; change: not measured in both frames")
                           : QStringLiteral("; noise: not measured"));
    if (m_state.materialType == Noise)
        return text + QStringLiteral("; noise %1 units").arg(number);
    return text + (value == 0.0f
                       ? QStringLiteral("; change 0 units")
                       : QStringLiteral("; change %1%2 units (%3)")
                             .arg(value < 0.0f ? QStringLiteral("-") : QStringLiteral("+"), number,
                                  value < 0.0f ? QStringLiteral("nearer") : QStringLiteral("farther")));
}

// Each pin a dot of its colour ringed in black, with its number, where the frame measures its pixel.
void ViewerGLWidget::paintPins(QPainter &painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int i = 0; i < m_pins.size(); ++i) {
        const std::optional<QVector3D> point = measuredPoint(*m_frame, m_pins[i].x(), m_pins[i].y());
        const std::optional<QPointF> at =
            point ? SurfacePicker::screenPoint(*point, m_renderer.matrices(), m_state, size()) : std::nullopt;
        if (!at)
            continue;
        painter.setPen(QPen(QColor(0, 0, 0, 220), 2.0));
        painter.setBrush(m_pinColours.value(i));
        painter.drawEllipse(*at, 5.0, 5.0);
        const QString number = QString::number(i + 1);
        QPainterPath label;
        label.addText(*at + QPointF(7, -7), painter.font(), number);
        painter.setPen(QPen(QColor(0, 0, 0, 220), 3.0));
        painter.drawPath(label);
        painter.fillPath(label, m_pinColours.value(i));
    }
    painter.restore();
}

// The region's outline, picks, pins and the legend are painted over the GL picture. The painter leaves
// the GL state its own way, so the renderer sets again what its drawing needs at every paint.
void ViewerGLWidget::paintOverlay() {
    const bool legend = legendVisible();
    if (!legend && m_picker.count() == 0 && !m_state.region.isSet() && (m_pins.isEmpty() || !m_frame))
        return;
    QPainter painter(this);
    if (m_frame)
        SurfacePicker::paintRegion(painter, m_renderer.matrices(), m_state, size());
    const int decimals = sceneDecimals();
    if (m_frame && !m_pins.isEmpty())
        paintPins(painter);
    if (m_picker.count() > 0)
        m_picker.paint(
            painter,
            [this](const QVector3D &point) {
                return SurfacePicker::screenPoint(point, m_renderer.matrices(), m_state, size());
            },
            decimals);
    if (legend)
        m_legend.paint(painter, size(), m_state.materialType, decimals);
}

void ViewerGLWidget::setTransparentBackground(bool on) {
    m_state.transparentBackground = on;
    // A grab keeps the alpha channel only when the surface was asked for one.
    if (on && !context()) {
        QSurfaceFormat withAlpha = format();
        withAlpha.setAlphaBufferSize(8);
        setFormat(withAlpha);
    }
    update();
}

void ViewerGLWidget::setRegion(const Region &region) {
    m_state.region = region;
    if (m_frame && m_picker.count() > 0) {
        m_picker.refresh(*m_frame, region);
        emit pickTextChanged(m_picker.text(sceneDecimals()));
    }
    update();
}

void ViewerGLWidget::setDepthJumpRule(bool hide, double factor) {
    m_rule.hideDepthJumps = hide;
    m_rule.depthJumpFactor = static_cast<float>(factor);
    if (m_frame)
        rebuildMesh(m_mesh.settings.stride);
}

void ViewerGLWidget::setEyeDome(uint32_t styles, double strength, double radius) {
    m_state.eyeDome.styles = styles;
    m_state.eyeDome.strength = static_cast<float>(strength);
    m_state.eyeDome.radius = static_cast<float>(radius);
    update();
}

void ViewerGLWidget::setPointSize(int pixels) {
    m_state.pointPixels = pixels;
    update();
}

void ViewerGLWidget::buildMesh(int stride) {
    const int before = m_mesh.settings.stride;
    MeshSettings settings = m_rule;
    settings.stride = stride;
    settings.pixelValues = m_values.values(m_state.materialType);
    m_meshHasValues = settings.pixelValues != nullptr;
    try {
        ::buildMesh(*m_frame, settings, m_mesh);
    } catch (const std::bad_alloc &) {
        m_mesh.settings = settings;
        emit statusMessageRequested(
            QStringLiteral("Could not draw %1: %2")
                .arg(m_frame->fileName, outOfMemoryMessage(m_frame->width, m_frame->height)));
    }
    if (m_mesh.settings.stride != before)
        emit detailChanged(m_mesh.settings.stride);
}

void ViewerGLWidget::rebuildMesh(int stride) {
    buildMesh(stride);
    uploadWhenReady();
    update();
}

QSize ViewerGLWidget::framebufferSize() const {
    const qreal ratio = devicePixelRatioF();
    return QSize(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
}

int ViewerGLWidget::screenStride() const {
    return m_frame ? DetailLevel::screenStride(*m_frame, m_state, framebufferSize()) : 1;
}

bool ViewerGLWidget::moving() const {
    return m_playing || m_isAnimatingMirror || m_stillTimer->isActive();
}

void ViewerGLWidget::noteMovement() {
    m_stillTimer->start();
    // While playing, each frame's build chooses with the file's clock.
    if (!m_frame || m_playing)
        return;
    const int stride = m_detail.next(screenStride(), true, m_lastPictureMs, kDragBudgetMs);
    if (stride != m_mesh.settings.stride)
        rebuildMesh(stride);
}

void ViewerGLWidget::showFullDetail() {
    m_detail.next(1, false, 0.0, 0.0);
    if (m_frame && m_mesh.settings.stride != 1)
        rebuildMesh(1);
}

void ViewerGLWidget::setAutomaticDetail(bool on) {
    m_detail.setAutomatic(on);
    if (!on)
        showFullDetail();
}

int ViewerGLWidget::detailStride() const {
    return m_mesh.settings.stride;
}

QImage ViewerGLWidget::fullDetailPicture() {
    showFullDetail();
    return grabFramebuffer();
}

void ViewerGLWidget::changeLightIntensity(int lightIntensitySliderValue) {
    qCDebug(viewerLog).noquote() << lightIntensitySliderValue;
    m_state.lightIntensity = lightForSlider(lightIntensitySliderValue);
    update();
}

void ViewerGLWidget::initializeGL() {
    if (!m_renderer.initialize(&m_glProblem)) {
        emit statusMessageRequested(m_glProblem);
        return;
    }
    m_glProblem.clear();
    emit meshTypeWasChanged(m_state.meshType);
    emit materialTypeWasChanged(m_state.materialType);
    resetModelRotation();
    if (m_geometryPending)
        uploadGeometry();
}

void ViewerGLWidget::resizeGL(int, int) {
    update();
}

void ViewerGLWidget::showFrame(const SharedFrame &frame, bool frameIt) {
    if (!frame)
        return;
    m_pictureClock.start();
    m_frame = frame;
    m_values.show(frame);
    if (frameIt) {
        frameOn(*m_frame, m_state);
        qCDebug(viewerLog).noquote() << "mass center" << m_state.framing.centre;
    }
    // A playing sequence is drawn as coarsely as the screen and its frame interval need; everything
    // else from every pixel.
    const int stride =
        m_playing ? m_detail.next(screenStride(), true, m_lastPictureMs, m_playingIntervalMs) : 1;
    buildMesh(stride);
    uploadWhenReady();
    if (m_depthColors.scale() == DepthScale::ThisFrame)
        m_depthColors.fit(m_state, *m_frame);
    else
        takeFirstDepthRange(m_state);
    // Also for a range that stays: its numbers are written with the digits of the new frame.
    colorRangeWasSet();
    // A pick stays on its pixel: a sequence frame gives it the point measured there now.
    if (m_picker.count() > 0) {
        m_picker.refresh(*m_frame, m_state.region);
        emit pickTextChanged(pickText());
    }
    emit meshTypeWasChanged(m_state.meshType);
    emit materialTypeWasChanged(m_state.materialType);
    // A window out of sight paints nothing: whoever waits for the picture need not.
    const QWindow *shownIn = window()->windowHandle();
    if (!isVisible() || !shownIn || !shownIn->isExposed())
        emit framePainted();
    update();
}

void ViewerGLWidget::setPlaying(bool playing, int intervalMs) {
    m_playing = playing;
    m_playingIntervalMs = intervalMs;
    if (playing)
        return;
    // The next frame built is drawn from every pixel until the picture moves again.
    m_detail.next(1, false, 0.0, 0.0);
    if (!m_isAnimatingMirror)
        showFullDetail();
}

void ViewerGLWidget::uploadWhenReady() {
    if (context()) {
        makeCurrent();
        uploadGeometry();
        doneCurrent();
    } else {
        m_geometryPending = true;
    }
}

// Sends the mesh arrays to the GPU once per frame.
void ViewerGLWidget::uploadGeometry() {
    m_geometryPending = false;
    QString error;
    if (!m_renderer.upload(m_mesh, m_frame ? m_frame->fileName : QString(), &error))
        emit statusMessageRequested(error);
    m_newFrameUploaded = true;
}

void ViewerGLWidget::paintGL() {
    bool blendDone = true;
    if (m_mirrorClock.isValid()) {
        const qint64 elapsed = m_mirrorClock.elapsed();
        m_state.mirrorBlend = mirrorBlend(m_shouldMirrorGeo, elapsed);
        blendDone = elapsed >= kMirrorMilliseconds;
    }
    m_state.mirrored = m_shouldMirrorGeo;
    if (!m_pictureClock.isValid())
        m_pictureClock.start();
    static const ScanFrameStore noFrame{ScanFrameStore::NoFrame{}};
    // A colouring by value whose values are not there yet (the noise of frames still being read)
    // shows the surface plain meanwhile.
    ViewState drawn = m_state;
    if (coloursByValue() && !m_meshHasValues)
        drawn.materialType = Solid;
    m_renderer.draw(m_frame ? *m_frame : noFrame, drawn, framebufferSize());
    // While the picture moves, the level of detail needs to know what a picture costs: its draw is
    // waited for here, as the window would wait for it to show it anyway.
    if (moving()) {
        m_renderer.finish();
        m_lastPictureMs = static_cast<double>(m_pictureClock.nsecsElapsed()) / 1e6;
        if (!m_playing)
            reportMovingPace();
    }
    m_pictureClock.invalidate();
    if (m_newFrameUploaded) {
        m_newFrameUploaded = false;
        emit framePainted();
    }
    paintOverlay();

    // The paint count alone would end the animation half way where paints come faster than
    // 122 in 670 ms (no vertical sync), so the blend must also have reached its end.
    if (m_isAnimatingMirror) {
        update();
        if (m_mirrorFrameCount > 120 && blendDone) {
            m_isAnimatingMirror = false;
            m_mirrorFrameCount = 0;
            m_stillTimer->start();
        }
        ++m_mirrorFrameCount;
    }
}

// Once a second while the mouse moves the model: how many pictures the view keeps up with.
void ViewerGLWidget::reportMovingPace() {
    if (!m_movingClock.isValid() || m_movingClock.elapsed() > 3000) {
        m_movingClock.start();
        m_movingPictures = 0;
    }
    ++m_movingPictures;
    const qint64 elapsed = m_movingClock.elapsed();
    if (elapsed < 1000)
        return;
    qCDebug(viewerLog).noquote() << QStringLiteral(
                                        "moving: %1 pictures per second shown, every %2 pixels drawn")
                                        .arg(m_movingPictures * 1000.0 / static_cast<double>(elapsed), 0, 'f',
                                             1)
                                        .arg(m_mesh.settings.stride);
    m_movingClock.start();
    m_movingPictures = 0;
}
