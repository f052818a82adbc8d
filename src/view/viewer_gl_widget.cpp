#include "view/viewer_gl_widget.h"

#include "data/binary_file.h"
#include "data/calibration.h"
#include "data/scan_frame_store.h"
#include "geometry/measured_point.h"
#include "render/scene_numbers.h"

#include <QDebug>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <new>

namespace {

// The timer takes whole milliseconds in an int: a rate far below one frame a second waits the
// longest interval the timer takes instead of overflowing.
int ptvTimerInterval(double framesPerSecond) {
    constexpr int kLongest = std::numeric_limits<int>::max();
    const double ms = 1000.0 / framesPerSecond;
    if (!(ms < static_cast<double>(kLongest)))
        return kLongest;
    return ms > 0.0 ? static_cast<int>(ms) : 0;
}

// How long a picture rests before it is drawn from every pixel again, and the budget of a picture
// while the mouse moves the model.
constexpr int kRestMilliseconds = 200;
constexpr double kDragBudgetMs = 40.0;

double threadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

} // namespace

ViewerGLWidget::ViewerGLWidget(ScanFrameStore &store, QWidget *parent)
    : QOpenGLWidget(parent), m_store(store), m_ptvTimer(new QTimer(this)) {
    const float c = m_store.centerOfMass.z();
    const float e = m_store.boundingBoxMax.z() - m_store.boundingBoxMin.z();
    m_state.colorZrange = QVector3D(c - e / 2.0f, c + e / 2.0f, 0.0f);
    m_legend.setRange(m_state.colorZrange.x(), m_state.colorZrange.y());
    connect(m_ptvTimer, &QTimer::timeout, this, &ViewerGLWidget::loadPTVFrameForDisplay);
    m_stillTimer = new QTimer(this);
    m_stillTimer->setSingleShot(true);
    m_stillTimer->setInterval(kRestMilliseconds);
    connect(m_stillTimer, &QTimer::timeout, this, [this] {
        if (!moving())
            showFullDetail();
    });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ViewerGLWidget::followFocusWindow);
}

ViewerGLWidget::~ViewerGLWidget() {
    haltPTVPlayback();
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
    if (m_store.frameKind == PtvFrame)
        m_store.computePhaseStatistics();
    m_state.rotation = QVector3D();
    m_state.translation = QVector3D();
    update();
}

void ViewerGLWidget::changeMeshType(int type) {
    qDebug().noquote() << "mesh type:" << type;
    m_store.meshType = type;
    update();
}

void ViewerGLWidget::changeMaterialType(int type) {
    qDebug().noquote() << "material type:" << type;
    m_store.materialType = type;
    update();
}

float ViewerGLWidget::depthForSlider(int value) const {
    // From the box's far face down to its near face; a phase frame's centre need not lie midway.
    const QVector2D span = sliderSpan();
    const float e = span.x() - span.y();
    return span.x() - static_cast<float>(value) / 100.0f * e;
}

int ViewerGLWidget::sliderForDepth(float depth) const {
    const QVector2D span = sliderSpan();
    const float e = span.x() - span.y();
    return e > 0.0f ? qRound((span.x() - depth) / e * 100.0f) : 0;
}

// A frame's box comes from a sample of its points, so measured depths may lie beyond it: after a fit
// the sliders reach them as well, for as long as the frame fitted (or its sequence) is on screen.
QVector2D ViewerGLWidget::sliderSpan() const {
    const float nearest = m_store.boundingBoxMin.z(), farthest = m_store.boundingBoxMax.z();
    if (QVector2D(nearest, farthest) != m_fittedBox)
        return QVector2D(farthest, nearest);
    return QVector2D(std::max(farthest, m_fittedDepths.y()), std::min(nearest, m_fittedDepths.x()));
}

bool ViewerGLWidget::fitColorRangeToFrame() {
    const SurfaceFacts measured = m_frameLoaded ? m_store.measureSurface() : SurfaceFacts();
    if (measured.validCount == 0) {
        emit statusMessageRequested(QStringLiteral("Nothing measured to fit the colours to"));
        return false;
    }
    m_fittedDepths = QVector2D(measured.min.z(), measured.max.z());
    m_fittedBox = QVector2D(m_store.boundingBoxMin.z(), m_store.boundingBoxMax.z());
    m_state.colorZrange = QVector3D(measured.min.z(), measured.max.z(), 0.0f);
    colorRangeWasSet();
    return true;
}

// The depth sliders run from the far end (0) to the near end (100) of the frame's box.
void ViewerGLWidget::changeMinZ(int minZ) {
    m_state.colorZrange.setY(depthForSlider(minZ));
    if (std::fabs(m_state.colorZrange.y() - m_state.colorZrange.x()) < 1.0f)
        m_state.colorZrange.setX(m_state.colorZrange.y() - 1.0f);
    colorRangeWasSet();
}

void ViewerGLWidget::changeMaxZ(int maxZ) {
    m_state.colorZrange.setX(depthForSlider(maxZ));
    if (std::fabs(m_state.colorZrange.y() - m_state.colorZrange.x()) < 1.0f)
        m_state.colorZrange.setY(m_state.colorZrange.x() + 1.0f);
    colorRangeWasSet();
}

void ViewerGLWidget::colorRangeWasSet() {
    m_legend.setRange(m_state.colorZrange.x(), m_state.colorZrange.y());
    emit colorRangeChanged(m_state.colorZrange.x(), m_state.colorZrange.y());
    update();
}

void ViewerGLWidget::setLegendShown(bool shown) {
    m_legendShown = shown;
    update();
}

bool ViewerGLWidget::legendVisible() const {
    return m_legendShown && m_frameLoaded && ColorLegend::coloursByDepth(m_store.materialType);
}

int ViewerGLWidget::sceneDecimals() const {
    return ::sceneDecimals(m_store);
}

void ViewerGLWidget::clearPicks() {
    m_picker.clear();
    emit pickTextChanged(QString());
    update();
}

// Reads the depth the last paint left under the cursor, turns it back into a model point with that
// paint's matrices, and picks the pixel whose measurement lies there.
void ViewerGLWidget::pickAt(const QPoint &position) {
    const QString nothing = QStringLiteral("Nothing picked: no surface under the cursor");
    if (!m_renderer.isReady() || !context() || m_renderer.indexCount() == 0) {
        emit statusMessageRequested(nothing);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize framebuffer(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
    const int x = static_cast<int>(position.x() * ratio), y = static_cast<int>(position.y() * ratio);
    if (x < 0 || y < 0 || x >= framebuffer.width() || y >= framebuffer.height())
        return;
    // The depth read back must be that of the surface drawn from every pixel.
    if (m_store.meshStride != 1) {
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
    QPoint nearest;
    float depth = 1.0f;
    int nearestDistance = std::numeric_limits<int>::max();
    for (int row = 0; row < block.height(); ++row) {
        for (int column = 0; column < block.width(); ++column) {
            const float d = depths[static_cast<size_t>(row * block.width() + column)];
            // Rows come bottom up from GL.
            const QPoint at(block.left() + column, block.bottom() - row);
            const int distance = (at - QPoint(x, y)).manhattanLength();
            if (d < 1.0f && distance < nearestDistance) {
                nearestDistance = distance;
                nearest = at;
                depth = d;
            }
        }
    }
    const ViewMatrices &m = m_renderer.matrices();
    std::optional<QVector3D> drawn =
        SurfacePicker::unproject(QPointF(nearest), depth, framebuffer, m.projection, m.view, m.model);
    // Undo the mirror blend about the centre's depth; half way through it every depth is the same.
    const float p = m_state.mirrorBlend, c = m_store.centerOfMass.z();
    if (drawn && std::fabs(1.0f - 2.0f * p) > 0.05f)
        drawn->setZ((drawn->z() - 2.0f * p * c) / (1.0f - 2.0f * p));
    else
        drawn.reset();
    const std::optional<QPoint> pixel = drawn ? nearestMeasuredPixel(m_store, *drawn) : std::nullopt;
    if (!pixel) {
        emit statusMessageRequested(nothing);
        return;
    }
    m_picker.add(*pixel, m_store);
    emit pickTextChanged(m_picker.text(sceneDecimals()));
    update();
}

std::optional<QPointF> ViewerGLWidget::screenPoint(const QVector3D &point) const {
    const float p = m_state.mirrorBlend, c = m_store.centerOfMass.z();
    const QVector4D drawn(point.x(), point.y(), p * (2.0f * c - point.z()) + (1.0f - p) * point.z(), 1.0f);
    const ViewMatrices &m = m_renderer.matrices();
    const QVector4D clip = m.projection * m.view * m.model * drawn;
    if (!(clip.w() > 0.0f))
        return std::nullopt;
    return QPointF((clip.x() / clip.w() + 1.0f) / 2.0f * width(),
                   (1.0f - clip.y() / clip.w()) / 2.0f * height());
}

// Picks and the legend are painted over the GL picture. The painter leaves the GL state its own
// way, so the renderer sets again what its drawing needs at every paint.
void ViewerGLWidget::paintOverlay() {
    const bool legend = legendVisible();
    if (!legend && m_picker.count() == 0)
        return;
    QPainter painter(this);
    const int decimals = sceneDecimals();
    if (m_picker.count() > 0)
        m_picker.paint(
            painter, [this](const QVector3D &point) { return screenPoint(point); }, decimals);
    if (legend)
        m_legend.paint(painter, size(), m_store.materialType, decimals);
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

void ViewerGLWidget::setDepthJumpRule(bool hide, double factor) {
    m_store.hideDepthJumps = hide;
    m_store.depthJumpFactor = static_cast<float>(factor);
    if (m_frameLoaded)
        rebuildMesh(m_store.meshStride);
}

void ViewerGLWidget::buildMesh(int stride) {
    const int before = m_store.meshStride;
    try {
        if (m_store.frameKind == XyzmFrame)
            m_store.buildCoordinateMesh(stride);
        else
            m_store.buildPhaseMesh(stride);
    } catch (const std::bad_alloc &) {
        emit statusMessageRequested(
            QStringLiteral("Could not draw %1: %2")
                .arg(m_store.fileName, outOfMemoryMessage(m_store.width, m_store.height)));
    }
    if (m_store.meshStride != before)
        emit detailChanged(m_store.meshStride);
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
    return DetailLevel::screenStride(m_store, m_state, framebufferSize());
}

bool ViewerGLWidget::moving() const {
    return isPlaying() || m_isAnimatingMirror || m_stillTimer->isActive();
}

void ViewerGLWidget::noteMovement() {
    m_stillTimer->start();
    // While playing, each frame's build chooses with the file's clock.
    if (!m_frameLoaded || isPlaying())
        return;
    const int stride = m_detail.next(screenStride(), true, m_lastPictureMs, kDragBudgetMs);
    if (stride != m_store.meshStride)
        rebuildMesh(stride);
}

void ViewerGLWidget::showFullDetail() {
    m_detail.next(1, false, 0.0, 0.0);
    if (m_frameLoaded && m_store.meshStride != 1)
        rebuildMesh(1);
}

void ViewerGLWidget::setAutomaticDetail(bool on) {
    m_detail.setAutomatic(on);
    if (!on)
        showFullDetail();
}

int ViewerGLWidget::detailStride() const {
    return m_store.meshStride;
}

QImage ViewerGLWidget::fullDetailPicture() {
    showFullDetail();
    return grabFramebuffer();
}

void ViewerGLWidget::changeLightIntensity(int lightIntensitySliderValue) {
    qDebug().noquote() << lightIntensitySliderValue;
    m_state.lightIntensity = lightForSlider(lightIntensitySliderValue);
    update();
}

// The view takes every key of the application while its own window is active. Whenever another
// window has the keys (a dialog, the file information window, a native dialog or another
// application, for which there is no focus window at all) the grab is let go.
void ViewerGLWidget::followFocusWindow() {
    if (!context())
        return;
    if (QGuiApplication::focusWindow() && QGuiApplication::focusWindow() == window()->windowHandle())
        grabKeyboard();
    else
        releaseKeyboard();
}

void ViewerGLWidget::initializeGL() {
    followFocusWindow();
    if (!m_renderer.initialize(&m_glProblem)) {
        emit statusMessageRequested(m_glProblem);
        return;
    }
    m_glProblem.clear();
    emit meshTypeWasChanged(m_store.meshType);
    emit materialTypeWasChanged(m_store.materialType);
    resetModelRotation();
    if (m_geometryPending)
        uploadGeometry();
}

void ViewerGLWidget::resizeGL(int, int) {
    update();
}

void ViewerGLWidget::loadFrameGeometry() {
    m_pictureClock.start();
    if (m_store.frameKind == PtFrame) {
        m_ptvFrameCounter = 1;
        m_store.computePhaseStatistics();
    } else if (m_store.frameKind == PtvFrame) {
        if (m_firstPtvFrame && (m_ptvFrameCounter < 3 || m_framingNewSequence))
            m_store.computePhaseStatistics();
        m_firstPtvFrame = false;
    } else {
        m_ptvFrameCounter = 1;
    }
    // A playing sequence is drawn as coarsely as the screen and its frame interval need; everything
    // else from every pixel.
    const int stride = isPlaying() ? m_detail.next(screenStride(), true, m_lastPictureMs, ptvInterval()) : 1;
    buildMesh(stride);
    presentFrameGeometry();
}

void ViewerGLWidget::presentFrameGeometry() {
    frameView(m_store, m_state);
    uploadWhenReady();
    takeFirstDepthRange(m_store, m_state);
    // Also for a range that stays: its numbers are written with the digits of the new frame.
    colorRangeWasSet();
    m_frameLoaded = true;
    // A pick stays on its pixel: a sequence frame gives it the point measured there now.
    if (m_picker.count() > 0) {
        m_picker.refresh(m_store);
        emit pickTextChanged(m_picker.text(sceneDecimals()));
    }
    emit meshTypeWasChanged(m_store.meshType);
    emit materialTypeWasChanged(m_store.materialType);
    update();
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
    if (!m_renderer.upload(m_store, &error))
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
    m_renderer.draw(m_store, m_state, framebufferSize());
    // While the picture moves, the level of detail needs to know what a picture costs: its draw is
    // waited for here, as the window would wait for it to show it anyway.
    if (moving()) {
        m_renderer.finish();
        m_lastPictureMs = static_cast<double>(m_pictureClock.nsecsElapsed()) / 1e6;
        if (!isPlaying())
            reportMovingPace();
    }
    m_pictureClock.invalidate();
    if (m_newFrameUploaded) {
        m_newFrameUploaded = false;
        ++m_framesPainted;
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

float mirrorBlend(bool towardsMirrored, qint64 elapsedMs) {
    const float t = std::clamp(
        static_cast<float>(static_cast<float>(elapsedMs) / static_cast<double>(kMirrorMilliseconds)), 0.0f,
        1.0f);
    return towardsMirrored ? t : 1.0f - t;
}

void ViewerGLWidget::setPlaybackSpeed(double factor) {
    m_playbackSpeed = factor;
    if (!m_ptvFile)
        return;
    m_ptvTimer->setInterval(ptvTimerInterval(static_cast<double>(m_ptvHeader.frameRate) * factor));
    // The pace is measured afresh at the new speed.
    m_paceClock.restart();
    m_tickCount = 0;
    m_framesPainted = 0;
}

int ViewerGLWidget::ptvInterval() const {
    return m_ptvTimer->interval();
}

bool ViewerGLWidget::openPTVFile(const QString &path, QString *error) {
    qDebug().noquote() << "open ptv file" << path;
    std::FILE *file = nullptr;
    PtvHeader header;
    if (!m_ptvReader.openStream(path, file, error))
        return false;
    // The frame to show is read before the store lets go of the one on screen, so the view never
    // draws one file's arrays with another's calibration, and a refused file changes nothing.
    auto refuse = [&] {
        m_ptvReader.closeStream(file);
        return false;
    };
    if (!m_ptvReader.readHeader(file, header, error))
        return refuse();
    // Resuming the sequence on screen keeps its loop range; another file plays whole.
    const bool sameSequence = m_store.frameKind == PtvFrame && path == m_ptvPath;
    const LoopRange range = sameSequence ? m_loopRange : LoopRange();
    const int32_t first = range.next(m_ptvFrameCounter, header.framesFound);
    if (!m_ptvDecoder.readFrame(file, header, first, error) || !beginPtvSequence(m_store, header, error))
        return refuse();
    // Resuming keeps the framing of the sequence on screen; another file is framed on its own
    // first frame, wherever the counter stands.
    m_framingNewSequence = !sameSequence;
    m_loopRange = range;
    haltPTVPlayback();
    m_ptvFile = file;
    m_ptvPath = path;
    m_playbackHeld = false;
    m_ptvHeader = header;
    m_firstPtvFrame = true;
    m_ptvFrameCount = header.framesFound;
    m_ptvHeaderSize = PtvHeader::kSize;
    m_ptvFrameSize = header.frameSize();
    m_ptvDecoder.commitFrame(header, m_store);
    m_ptvFrameCounter = first;
    loadFrameGeometry();
    emit ptvFrameShown(first);
    const QString shortBy = shortSequenceMessage(header);
    if (!shortBy.isEmpty())
        emit statusMessageRequested(QStringLiteral("Playing %1: %2").arg(path, shortBy));
    m_ptvTimer->setInterval(ptvTimerInterval(static_cast<double>(header.frameRate) * m_playbackSpeed));
    m_ptvTimer->start();
    m_paceClock.start();
    m_tickCount = 0;
    m_framesPainted = 0;
    return true;
}

void ViewerGLWidget::loadPTVFrameForDisplay() {
    if (!m_ptvFile || m_playbackHeld)
        return;
    // A frame not yet painted holds the next one back: where decoding outruns drawing, playback
    // slows down instead of passing frames over unseen. A window out of sight paints nothing, so
    // there playback goes on without waiting.
    const QWindow *shownIn = window()->windowHandle();
    if (m_newFrameUploaded && isVisible() && shownIn && shownIn->isExposed())
        return;
    const double start = threadCpuMilliseconds();
    const int next = m_loopRange.next(m_ptvFrameCounter, m_ptvFrameCount);
    QString error;
    // The counter moves with the picture only. A frame that cannot be read (the file was cut or
    // rewritten under the player) leaves the last good one on screen and pauses, said once.
    if (!m_ptvDecoder.decodeFrame(m_ptvFile, m_ptvHeader, next, m_store, &error)) {
        PtvHeader now;
        QString holds;
        if (m_ptvReader.readHeader(m_ptvFile, now, &holds))
            holds = now.framesFound == 1
                        ? QStringLiteral("the file now holds one frame, 0")
                        : QStringLiteral("the file now holds frames 0 to %1").arg(now.framesFound - 1);
        stopPTVPlayback();
        qDebug().noquote() << error << holds;
        emit playbackPaused(error + QStringLiteral("; ") + holds);
        return;
    }
    m_ptvFrameCounter = next;
    loadFrameGeometry();
    emit ptvFrameShown(m_ptvFrameCounter);
    reportPlaybackPace(threadCpuMilliseconds() - start);
}

bool ViewerGLWidget::seekPtvFrame(int frame, QString *error) {
    if (m_store.frameKind != PtvFrame || m_ptvPath.isEmpty()) {
        if (error)
            *error = QStringLiteral("no sequence is on screen");
        return false;
    }
    std::FILE *file = m_ptvFile;
    PtvHeader header = m_ptvHeader;
    const bool paused = !file;
    if (paused) {
        // Paused: the file is opened for this one read, and its frames must still fit the store.
        if (!m_ptvReader.openStream(m_ptvPath, file, error))
            return false;
        bool fits = m_ptvReader.readHeader(file, header, error);
        if (fits && (header.width != m_ptvHeader.width || header.height != m_ptvHeader.height ||
                     header.colorTexture != m_ptvHeader.colorTexture)) {
            fits = false;
            if (error)
                *error = QStringLiteral("the file has changed since it was opened");
        }
        if (!fits) {
            m_ptvReader.closeStream(file);
            return false;
        }
        // A file grown or cut short since it was read is sought within the frames it holds now.
        if (header.framesFound != m_ptvHeader.framesFound)
            frame = std::clamp(frame, 0, header.framesFound - 1);
    }
    const bool decoded = m_ptvDecoder.decodeFrame(file, header, frame, m_store, error);
    if (paused)
        m_ptvReader.closeStream(file);
    if (!decoded)
        return false;
    // The header read for this frame is the one it is shown with, calibration and all.
    if (paused) {
        m_ptvHeader = header;
        m_ptvFrameCount = header.framesFound;
        applyCalibration(m_store, header.calibration);
    }
    m_ptvFrameCounter = frame;
    loadFrameGeometry();
    // The frame sought stays a whole interval before playback moves on.
    if (m_ptvTimer->isActive())
        m_ptvTimer->start();
    emit ptvFrameShown(frame);
    return true;
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
    qDebug().noquote() << QStringLiteral("moving: %1 pictures per second shown, every %2 pixels drawn")
                              .arg(m_movingPictures * 1000.0 / static_cast<double>(elapsed), 0, 'f', 1)
                              .arg(m_store.meshStride);
    m_movingClock.start();
    m_movingPictures = 0;
}

void ViewerGLWidget::reportPlaybackPace(double tickMilliseconds) {
    if (m_tickCount < static_cast<int>(m_tickTimes.size()))
        m_tickTimes[static_cast<size_t>(m_tickCount)] = tickMilliseconds;
    ++m_tickCount;
    const qint64 elapsed = m_paceClock.elapsed();
    if (elapsed < 1000)
        return;
    const auto begin = m_tickTimes.begin();
    const auto end = begin + std::min<int>(m_tickCount, static_cast<int>(m_tickTimes.size()));
    std::nth_element(begin, begin + (end - begin) / 2, end);
    const double shown = m_framesPainted * 1000.0 / static_cast<double>(elapsed);
    qDebug().noquote() << QStringLiteral(
                              "playback: %1 frames per second shown (file: %2), median tick %3 ms of "
                              "processor time")
                              .arg(shown, 0, 'f', 1)
                              .arg(static_cast<double>(m_ptvHeader.frameRate))
                              .arg(*(begin + (end - begin) / 2), 0, 'f', 1);
    emit playbackPaceMeasured(shown);
    m_paceClock.restart();
    m_tickCount = 0;
    m_framesPainted = 0;
}

void ViewerGLWidget::haltPTVPlayback() {
    m_ptvTimer->stop();
    m_ptvReader.closeStream(m_ptvFile);
    // The next frame built is drawn from every pixel until the picture moves again.
    m_detail.next(1, false, 0.0, 0.0);
}

void ViewerGLWidget::stopPTVPlayback() {
    haltPTVPlayback();
    if (!m_isAnimatingMirror)
        showFullDetail();
}
