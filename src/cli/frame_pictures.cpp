#include "cli/frame_pictures.h"

#include "cli/render_options.h"
#include "render/color_legend.h"
#include "render/scene_numbers.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>

ViewState renderView(const RenderOptions &options) {
    ViewState view;
    view.meshType = options.style;
    view.materialType = options.color;
    view.depthRangeTaken = options.givenDepths;
    view.lightIntensity = lightForSlider(options.light);
    // Kept within a turn, as dragging keeps it.
    view.rotation = QVector3D(std::fmod(options.turnX, 360.0f), std::fmod(options.turnY, 360.0f), 0.0f);
    view.transparentBackground = options.transparent;
    view.region = options.region;
    view.eyeDome.styles = options.eyeDomeGiven ? 1u << options.style : kDefaultEyeDomeStyles;
    view.eyeDome.strength = options.eyeDomeStrength;
    view.pointPixels = options.pointPixels;
    // A view's turn, pan, zoom and mirror, which the framing placed later leaves as they are.
    if (options.camera)
        options.camera->applyTo(view);
    // A range given stands for every frame, as one the viewer's sliders set.
    if (options.givenDepths)
        view.colorZrange = QVector3D(options.nearDepth, options.farDepth, 0.0f);
    return view;
}

FramePictures::FramePictures(const RenderOptions &options)
    : m_options(options), m_view(renderView(options)) {}

FramePictures::~FramePictures() {
    if (m_started)
        m_renderer.release();
}

void FramePictures::setValueRange(float range, float neutral) {
    m_view.valueRange = range;
    m_view.valueNeutral = neutral;
}

bool FramePictures::start(QString *error) {
    m_started = m_gl.create(m_options.picture, error) && m_renderer.initialize(error);
    return m_started;
}

// The framing (statistics) of the first frame stays with the later frames of a sequence, so the
// camera holds still as in playback.
void FramePictures::takeFirst(const ScanFrameStore &first) {
    frameOn(first, m_view);
    // As the viewer's fit: the bulk of the first frame's measured depths in the region, kept by the
    // frames after it. A frame that measures nothing keeps the framing box's range, as the viewer
    // keeps its own.
    if (m_options.fitDepths)
        fit(first);
}

void FramePictures::fit(const ScanFrameStore &frame) {
    m_depths.clear();
    m_depths.add(frame, m_options.region);
    float nearDepth = 0.0f, farDepth = 0.0f;
    if (!m_depths.fittedRange(&nearDepth, &farDepth))
        return;
    m_view.colorZrange = QVector3D(nearDepth, farDepth, 0.0f);
    m_view.depthRangeTaken = true;
}

bool FramePictures::draw(int32_t frame, const MeshedFrame &next, QImage *image, QString *reason) {
    if (frame == m_options.span.first)
        takeFirst(next.frame);
    else if (m_options.fitEachFrame)
        fit(next.frame);
    // The colours are placed as the viewer places them for the frames it shows.
    takeFirstDepthRange(m_view);
    const QSize picture = m_options.picture;
    if (!m_renderer.upload(next.mesh, QFileInfo(m_options.in).fileName(), reason))
        return false;
    m_renderer.draw(next.frame, m_view, picture);
    if (!m_gl.checkDrawing(reason))
        return false;
    *image = m_renderer.readImage(picture, m_options.transparent);
    if (m_options.legend) {
        ColorLegend scale;
        scale.setRange(m_view.colorZrange.x(), m_view.colorZrange.y());
        scale.setValueRange(m_view.valueRange, m_view.valueNeutral);
        if (ColorLegend::coloursByDepth(m_options.color))
            scale.setNote(depthScaleName(m_options.depthScale));
        QPainter painter(image);
        scale.paint(painter, picture, m_options.color, sceneDecimals(m_view.framing));
    }
    return true;
}
