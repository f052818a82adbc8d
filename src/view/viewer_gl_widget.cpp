#include "view/viewer_gl_widget.h"

#include "data/binary_file.h"
#include "data/calibration.h"
#include "data/scan_frame_store.h"
#include "geometry/measured_point.h"
#include "view/scene_numbers.h"

#include <QDebug>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLShader>
#include <QOpenGLShaderProgram>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <new>

namespace {

// Fixed-function names of the compatibility profile that QOpenGLFunctions does not carry.
constexpr GLenum kSmooth = 0x1D01;
constexpr GLenum kFrontAndBack = 0x0408;
constexpr GLenum kLine = 0x1B01;
constexpr GLenum kFill = 0x1B02;
constexpr GLenum kProgramPointSize = 0x8642;

// The timer takes whole milliseconds in an int: a rate far below one frame a second waits the
// longest interval the timer takes instead of overflowing.
int ptvTimerInterval(float frameRate) {
    constexpr int kLongest = std::numeric_limits<int>::max();
    const double ms = 1000.0 / static_cast<double>(frameRate);
    if (!(ms < static_cast<double>(kLongest)))
        return kLongest;
    return ms > 0.0 ? static_cast<int>(ms) : 0;
}

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
    m_colorZrange = QVector3D(c - e / 2.0f, c + e / 2.0f, 0.0f);
    m_legend.setRange(m_colorZrange.x(), m_colorZrange.y());
    connect(m_ptvTimer, &QTimer::timeout, this, &ViewerGLWidget::loadPTVFrameForDisplay);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ViewerGLWidget::followFocusWindow);
}

ViewerGLWidget::~ViewerGLWidget() {
    stopPTVPlayback();
    if (context()) {
        makeCurrent();
        m_vertexBuffer.destroy();
        m_indexBuffer.destroy();
        delete m_program;
        doneCurrent();
    } else {
        delete m_program;
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
    update();
}

void ViewerGLWidget::resetModelRotation() {
    if (m_store.frameKind == PtvFrame)
        m_store.computePhaseStatistics();
    m_rotation = QVector3D();
    m_translation = QVector3D();
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
    const float e = m_store.boundingBoxMax.z() - m_store.boundingBoxMin.z();
    return m_store.boundingBoxMax.z() - static_cast<float>(value) / 100.0f * e;
}

// The depth sliders run from the far end (0) to the near end (100) of the frame's box.
void ViewerGLWidget::changeMinZ(int minZ) {
    m_colorZrange.setY(depthForSlider(minZ));
    if (std::fabs(m_colorZrange.y() - m_colorZrange.x()) < 1.0f)
        m_colorZrange.setX(m_colorZrange.y() - 1.0f);
    colorRangeWasSet();
}

void ViewerGLWidget::changeMaxZ(int maxZ) {
    m_colorZrange.setX(depthForSlider(maxZ));
    if (std::fabs(m_colorZrange.y() - m_colorZrange.x()) < 1.0f)
        m_colorZrange.setY(m_colorZrange.x() + 1.0f);
    colorRangeWasSet();
}

void ViewerGLWidget::colorRangeWasSet() {
    m_legend.setRange(m_colorZrange.x(), m_colorZrange.y());
    emit colorRangeChanged(m_colorZrange.x(), m_colorZrange.y());
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
    const QVector3D size = m_store.boundingBoxSize;
    return decimalsForSpan(std::max({std::fabs(size.x()), std::fabs(size.y()), std::fabs(size.z())}));
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
    if (!m_program || !context() || m_indexCount == 0) {
        emit statusMessageRequested(nothing);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize framebuffer(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
    const int x = static_cast<int>(position.x() * ratio), y = static_cast<int>(position.y() * ratio);
    if (x < 0 || y < 0 || x >= framebuffer.width() || y >= framebuffer.height())
        return;
    // A wireframe or a point cloud leaves background between its lines and points: the drawn texel
    // nearest the cursor within a few pixels is taken.
    constexpr int kReach = 4;
    const QRect block = QRect(x - kReach, y - kReach, 2 * kReach + 1, 2 * kReach + 1)
                            .intersected(QRect(QPoint(0, 0), framebuffer));
    std::array<float, (2 * kReach + 1) * (2 * kReach + 1)> depths;
    depths.fill(1.0f);
    makeCurrent();
    glReadPixels(block.left(), framebuffer.height() - 1 - block.bottom(), block.width(), block.height(),
                 GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
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
    std::optional<QVector3D> drawn = SurfacePicker::unproject(
        QPointF(nearest), depth, framebuffer, m_projectionMatrix, m_viewMatrix, m_modelMatrix);
    // Undo the mirror blend about the centre's depth; half way through it every depth is the same.
    const float p = m_percentageMirrored, c = m_store.centerOfMass.z();
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
    const float p = m_percentageMirrored, c = m_store.centerOfMass.z();
    const QVector4D drawn(point.x(), point.y(), p * (2.0f * c - point.z()) + (1.0f - p) * point.z(), 1.0f);
    const QVector4D clip = m_projectionMatrix * m_viewMatrix * m_modelMatrix * drawn;
    if (!(clip.w() > 0.0f))
        return std::nullopt;
    return QPointF((clip.x() / clip.w() + 1.0f) / 2.0f * width(),
                   (1.0f - clip.y() / clip.w()) / 2.0f * height());
}

// Picks and the legend are painted over the GL picture. The painter leaves the GL state its own
// way, so the next paint sets again what the drawing needs.
void ViewerGLWidget::paintOverlay() {
    const bool legend = legendVisible();
    if (!legend && m_picker.count() == 0)
        return;
    // The painter draws from client memory with attributes of its own: nothing of ours may stay bound.
    m_glPolygonMode(kFrontAndBack, kFill);
    for (int location = 0; location < 4; ++location)
        m_program->disableAttributeArray(location);
    m_vertexBuffer.release();
    m_indexBuffer.release();
    m_program->release();
    QPainter painter(this);
    const int decimals = sceneDecimals();
    if (m_picker.count() > 0)
        m_picker.paint(
            painter, [this](const QVector3D &point) { return screenPoint(point); }, decimals);
    if (legend)
        m_legend.paint(painter, size(), m_store.materialType, decimals);
}

void ViewerGLWidget::setTransparentBackground(bool on) {
    m_transparentBackground = on;
    // A grab keeps the alpha channel only when the surface was asked for one.
    if (on && !context()) {
        QSurfaceFormat withAlpha = format();
        withAlpha.setAlphaBufferSize(8);
        setFormat(withAlpha);
    }
    update();
}

void ViewerGLWidget::changeLightIntensity(int lightIntensitySliderValue) {
    qDebug().noquote() << lightIntensitySliderValue;
    m_lightIntensity = static_cast<float>(lightIntensitySliderValue / 100.0) * 10.0f;
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
    initializeOpenGLFunctions();
    QOpenGLContext *ctx = context();
    const QSurfaceFormat format = ctx->format();
    m_glShadeModel = reinterpret_cast<void (*)(unsigned int)>(ctx->getProcAddress("glShadeModel"));
    m_glPolygonMode =
        reinterpret_cast<void (*)(unsigned int, unsigned int)>(ctx->getProcAddress("glPolygonMode"));
    if (ctx->isOpenGLES() || format.version() < qMakePair(3, 2) ||
        format.profile() == QSurfaceFormat::CoreProfile || !m_glShadeModel || !m_glPolygonMode) {
        m_glProblem =
            QStringLiteral("OpenGL %1.%2 %3 context: the view needs OpenGL 3.2 or newer with the "
                           "compatibility profile")
                .arg(format.majorVersion())
                .arg(format.minorVersion())
                .arg(ctx->isOpenGLES()                                 ? QStringLiteral("ES")
                     : format.profile() == QSurfaceFormat::CoreProfile ? QStringLiteral("core")
                                                                       : QStringLiteral("compatibility"));
    }

    m_vertexBuffer.create();
    m_vertexBuffer.bind();
    m_indexBuffer.create();
    followFocusWindow();

    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(kProgramPointSize);
    m_clearColor = QColor::fromRgbF(0.08, 0.08, 0.08, 1.0);

    auto *vertexShader = new QOpenGLShader(QOpenGLShader::Vertex, this);
    auto *fragmentShader = new QOpenGLShader(QOpenGLShader::Fragment, this);
    const bool vertexOk = m_glProblem.isEmpty() &&
                          vertexShader->compileSourceFile(QStringLiteral(":/shaders/vertexshader.vsh"));
    const bool fragmentOk = m_glProblem.isEmpty() &&
                            fragmentShader->compileSourceFile(QStringLiteral(":/shaders/fragmentshader.fsh"));
    if (!m_glProblem.isEmpty()) {
        qDebug().noquote() << m_glProblem;
        emit statusMessageRequested(m_glProblem);
        return;
    }
    if (vertexOk && fragmentOk) {
        m_program = new QOpenGLShaderProgram;
        m_program->addShader(vertexShader);
        m_program->addShader(fragmentShader);
        m_program->bindAttributeLocation("a_position", 0);
        m_program->bindAttributeLocation("a_normal", 1);
        m_program->bindAttributeLocation("a_textureColor", 2);
        m_program->bindAttributeLocation("a_validity", 3);
        if (!m_program->link()) {
            qDebug().noquote() << "shader link log:" << m_program->log();
            delete m_program;
            m_program = nullptr;
            m_glProblem = QStringLiteral("Error loading shaders! vertex: 1, frag: 1, link: 0");
            emit statusMessageRequested(m_glProblem);
            return;
        }
        m_program->bind();
        m_program->setUniformValue("materialType", m_store.materialType);
        emit meshTypeWasChanged(m_store.meshType);
        emit materialTypeWasChanged(m_store.materialType);
        resetModelRotation();
    } else {
        qDebug().noquote() << "vertex shader log:" << vertexShader->log();
        qDebug().noquote() << "fragment shader log:" << fragmentShader->log();
        m_glProblem = QStringLiteral("Error loading shaders! vertex: %1, frag: %2")
                          .arg(vertexOk ? 1 : 0)
                          .arg(fragmentOk ? 1 : 0);
        emit statusMessageRequested(m_glProblem);
    }
    if (m_geometryPending)
        uploadGeometry();
}

void ViewerGLWidget::resizeGL(int w, int h) {
    glViewport(0, 0, w, h);
    update();
}

void ViewerGLWidget::loadFrameGeometry() {
    // A mesh too large for the memory left is drawn as nothing, and said, rather than ending the viewer.
    try {
        if (m_store.frameKind == PtFrame) {
            m_ptvFrameCounter = 1;
            m_store.computePhaseStatistics();
            m_store.buildPhaseMesh();
        } else if (m_store.frameKind == PtvFrame) {
            if (m_firstPtvFrame && (m_ptvFrameCounter < 3 || m_framingNewSequence))
                m_store.computePhaseStatistics();
            m_firstPtvFrame = false;
            m_store.buildPhaseMesh();
        } else {
            m_ptvFrameCounter = 1;
            m_store.buildCoordinateMesh();
        }
    } catch (const std::bad_alloc &) {
        emit statusMessageRequested(
            QStringLiteral("Could not draw %1: %2")
                .arg(m_store.fileName, outOfMemoryMessage(m_store.width, m_store.height)));
    }
    presentFrameGeometry();
}

void ViewerGLWidget::presentFrameGeometry() {
    // The eye sits on the axis through the centre of mass, where the larger extent of the box
    // fills the 45 degree field of view.
    const QVector3D extent = m_store.boundingBoxSize;
    const QVector3D c = m_store.centerOfMass;
    const float t = static_cast<float>(std::tan(M_PI / 8.0));
    const float d = static_cast<float>(std::max(extent.y() * 0.5 / t, extent.x() * 0.5 / t));
    m_cameraOrigin = QVector3D(c.x(), c.y(), static_cast<float>(static_cast<double>(c.z()) - d));

    if (context()) {
        makeCurrent();
        uploadGeometry();
        doneCurrent();
    } else {
        m_geometryPending = true;
    }

    if (!m_store.depthRangeTaken) {
        m_colorZrange.setX(m_store.boundingBoxMin.z());
        m_colorZrange.setY(m_store.boundingBoxMax.z());
        m_store.depthRangeTaken = true;
    }
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

// Sends the mesh arrays to the GPU once per frame; a frame of the size of the last one reuses the
// buffers' storage instead of allocating it again.
void ViewerGLWidget::uploadGeometry() {
    m_geometryPending = false;
    if (!m_vertexBuffer.isCreated())
        m_vertexBuffer.create();
    if (!m_indexBuffer.isCreated())
        m_indexBuffer.create();
    const int vertexBytes = glBufferBytes(m_store.vertexData.size(), sizeof(float));
    const int indexBytes = glBufferBytes(m_store.indexData.size(), sizeof(uint32_t));
    if (vertexBytes < 0 || indexBytes < 0) {
        // Better the background alone than the last frame's arrays under this frame's calibration.
        m_vertexBuffer.bind();
        m_vertexBuffer.allocate(0);
        m_indexBuffer.bind();
        m_indexBuffer.allocate(0);
        m_indexCount = 0;
        const double mib = static_cast<double>(m_store.vertexData.size() * sizeof(float) +
                                               m_store.indexData.size() * sizeof(uint32_t)) /
                           1048576.0;
        const QString text = QStringLiteral("Could not draw %1: its %2 MiB of vertices and triangles do not "
                                            "fit GL buffers of at most 2 GiB each")
                                 .arg(m_store.fileName)
                                 .arg(mib, 0, 'f', 0);
        qDebug().noquote() << text;
        emit statusMessageRequested(text);
        return;
    }
    m_vertexBuffer.bind();
    if (m_vertexBuffer.size() == vertexBytes && vertexBytes > 0)
        m_vertexBuffer.write(0, m_store.vertexData.data(), vertexBytes);
    else
        m_vertexBuffer.allocate(m_store.vertexData.data(), vertexBytes);
    m_indexBuffer.bind();
    if (m_indexBuffer.size() == indexBytes && indexBytes > 0)
        m_indexBuffer.write(0, m_store.indexData.data(), indexBytes);
    else
        m_indexBuffer.allocate(m_store.indexData.data(), indexBytes);
    m_indexCount = static_cast<int>(m_store.indexData.size());
    m_newFrameUploaded = true;
}

void ViewerGLWidget::paintGL() {
    glClearColor(static_cast<GLfloat>(m_clearColor.redF()), static_cast<GLfloat>(m_clearColor.greenF()),
                 static_cast<GLfloat>(m_clearColor.blueF()),
                 m_transparentBackground ? 0.0f : static_cast<GLfloat>(m_clearColor.alphaF()));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!m_program)
        return;
    // Undone by the painter of the overlay at the end of the last paint.
    m_program->bind();
    glEnable(GL_DEPTH_TEST);
    glEnable(kProgramPointSize);

    const QVector3D c = m_store.centerOfMass;
    m_projectionMatrix.setToIdentity();
    m_projectionMatrix.perspective(45.0f, static_cast<float>(width()) / static_cast<float>(height()), 0.1f,
                                   10000.0f);
    m_viewMatrix.setToIdentity();
    m_viewMatrix.lookAt(m_cameraOrigin, c, QVector3D(0.0f, 1.0f, 0.0f));
    m_modelMatrix.setToIdentity();
    m_modelMatrix.translate(m_translation);
    m_modelMatrix.translate(c);
    m_modelMatrix.rotate(m_rotation.x(), 1.0f, 0.0f, 0.0f);
    m_modelMatrix.rotate(m_rotation.y(), 0.0f, 1.0f, 0.0f);
    m_modelMatrix.rotate(static_cast<float>(static_cast<double>(m_rotation.z()) - 90.0), 0.0f, 0.0f, 1.0f);
    m_modelMatrix.translate(-c);

    m_vertexBuffer.bind();
    for (int location = 0; location < 4; ++location)
        m_program->enableAttributeArray(location);
    constexpr int stride = 10 * sizeof(float);
    m_program->setAttributeBuffer(0, GL_FLOAT, 0, 3, stride);
    m_program->setAttributeBuffer(1, GL_FLOAT, 12, 3, stride);
    m_program->setAttributeBuffer(2, GL_FLOAT, 24, 3, stride);
    m_program->setAttributeBuffer(3, GL_FLOAT, 36, 1, stride);

    float blend = 0.0f;
    bool blendDone = true;
    if (m_mirrorClock.isValid()) {
        const qint64 elapsed = m_mirrorClock.elapsed();
        blend = mirrorBlend(m_shouldMirrorGeo, elapsed);
        blendDone = elapsed >= kMirrorMilliseconds;
    }
    m_percentageMirrored = blend;

    m_program->setUniformValue("u_projectionMatrix", m_projectionMatrix);
    m_program->setUniformValue("u_viewMatrix", m_viewMatrix);
    m_program->setUniformValue("u_modelMatrix", m_modelMatrix);
    m_program->setUniformValue("materialType", m_store.materialType);
    m_program->setUniformValue("u_lightIntensity", m_lightIntensity);
    m_program->setUniformValue("u_materialColor", m_store.materialColor);
    m_program->setUniformValue("u_shouldMirrorGeo", m_shouldMirrorGeo ? 1 : 0);
    m_program->setUniformValue("u_boundingBoxMin", m_store.boundingBoxMin);
    m_program->setUniformValue("u_boundingBoxMax", m_store.boundingBoxMax);
    m_program->setUniformValue("u_centerOfMass", c);
    m_program->setUniformValue("u_cameraOrigin", m_cameraOrigin);
    m_program->setUniformValue("u_colorZrange", m_colorZrange);
    m_program->setUniformValue("u_cameraDistanceScaling", 1.0f);
    m_program->setUniformValue("m_Ap", m_store.m_Ap);
    m_program->setUniformValue("m_Ac", m_store.m_Ac);
    m_program->setUniformValue("m_Tp", m_store.m_Tp);
    m_program->setUniformValue("m_Tc", m_store.m_Tc);
    m_program->setUniformValue("m_isCaptured", static_cast<float>(m_store.frameKind));
    m_program->setUniformValue("u_percentageMirrored", blend);

    m_glShadeModel(kSmooth);
    if (m_store.meshType == Shaded)
        m_glPolygonMode(kFrontAndBack, kFill);
    else if (m_store.meshType == Wireframe)
        m_glPolygonMode(kFrontAndBack, kLine);
    m_indexBuffer.bind();
    glDrawElements(m_store.meshType == PointCloud ? GL_POINTS : GL_TRIANGLES, m_indexCount, GL_UNSIGNED_INT,
                   nullptr);
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
        }
        ++m_mirrorFrameCount;
    }
}

int glBufferBytes(uint64_t count, uint64_t elementBytes) {
    constexpr uint64_t kMost = static_cast<uint64_t>(std::numeric_limits<int>::max());
    if (elementBytes == 0)
        return 0;
    return count > kMost / elementBytes ? -1 : static_cast<int>(count * elementBytes);
}

float mirrorBlend(bool towardsMirrored, qint64 elapsedMs) {
    const float t = std::clamp(
        static_cast<float>(static_cast<float>(elapsedMs) / static_cast<double>(kMirrorMilliseconds)), 0.0f,
        1.0f);
    return towardsMirrored ? t : 1.0f - t;
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
    const int32_t first = nextPtvFrame(m_ptvFrameCounter, header.framesFound);
    if (!m_ptvDecoder.readFrame(file, header, first, error) || !beginPtvSequence(m_store, header, error))
        return refuse();
    // Resuming keeps the framing of the sequence on screen; another file is framed on its own
    // first frame, wherever the counter stands.
    m_framingNewSequence = m_store.frameKind != PtvFrame || path != m_ptvPath;
    stopPTVPlayback();
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
    m_ptvTimer->setInterval(ptvTimerInterval(header.frameRate));
    m_ptvTimer->start();
    m_paceClock.start();
    m_tickCount = 0;
    m_framesPainted = 0;
    return true;
}

void ViewerGLWidget::loadPTVFrameForDisplay() {
    if (!m_ptvFile || m_playbackHeld)
        return;
    const double start = threadCpuMilliseconds();
    const int next = nextPtvFrame(m_ptvFrameCounter, m_ptvFrameCount);
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

void ViewerGLWidget::stopPTVPlayback() {
    m_ptvTimer->stop();
    m_ptvReader.closeStream(m_ptvFile);
}
