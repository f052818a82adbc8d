#include "app/depth_scale_control.h"

#include "app/scan_file_names.h"
#include "render/scene_numbers.h"
#include "view/viewer_gl_widget.h"
#include "view/viewer_log.h"

#include <QComboBox>
#include <QSignalBlocker>

DepthScaleControl::DepthScaleControl(QComboBox &list, ViewerGLWidget &view, QObject *parent)
    : QObject(parent), m_list(list), m_view(view) {
    connect(&m_list, QOverload<int>::of(&QComboBox::activated), this, &DepthScaleControl::choose);
    connect(&m_view, &ViewerGLWidget::depthScaleChanged, this, &DepthScaleControl::follow);
    m_list.setCurrentIndex(static_cast<int>(m_view.depthColors().scale()));
}

void DepthScaleControl::choose(int scale) {
    m_view.setDepthScale(static_cast<DepthScale>(scale));
    if (static_cast<DepthScale>(scale) == DepthScale::Sequence)
        startMeasuring();
}

// The view's scale changed (a slider, F, a choice, a session): the list shows it, and a measurement
// no longer wanted stops.
void DepthScaleControl::follow(int scale) {
    const QSignalBlocker blocker(m_list);
    m_list.setCurrentIndex(scale);
    if (static_cast<DepthScale>(scale) != DepthScale::Sequence) {
        ++m_generation;
        m_scan.stop();
    }
}

void DepthScaleControl::fileOpened(const QString &path, const std::optional<SessionColours> &kept,
                                   bool rangeHolds) {
    m_path = path;
    ++m_generation;
    m_scan.stop();
    if (kept && (kept->scale == DepthScale::Fixed ||
                 (kept->scale == DepthScale::Sequence && rangeHolds && !kept->provisional))) {
        m_view.setDepthRange(kept->scale, kept->nearDepth, kept->farDepth);
        emit rangeKept();
        return;
    }
    const DepthScale scale = kept ? kept->scale : m_view.depthColors().scale();
    if (kept || scale == DepthScale::Sequence)
        m_view.setDepthScale(scale);
    if (scale == DepthScale::Sequence)
        startMeasuring();
}

void DepthScaleControl::regionChanged() {
    if (m_view.depthColors().scale() != DepthScale::Sequence)
        return;
    m_view.setDepthScale(DepthScale::Sequence);
    startMeasuring();
}

SessionColours DepthScaleControl::current() const {
    const QVector3D range = m_view.viewState().colorZrange;
    const DepthColors &colours = m_view.depthColors();
    return {colours.scale(), range.x(), range.y(), colours.provisional()};
}

void DepthScaleControl::startMeasuring() {
    if (m_path.isEmpty())
        return;
    const uint64_t generation = ++m_generation;
    m_clock.start();
    m_scan.start(m_path, m_view.viewState().region,
                 [this, generation](bool ok, const SequenceDepths &depths, const QString &error) {
                     QMetaObject::invokeMethod(
                         this, [=] { measured(generation, ok, depths, error); }, Qt::QueuedConnection);
                 });
}

void DepthScaleControl::measured(uint64_t generation, bool ok, const SequenceDepths &depths,
                                 const QString &error) {
    if (generation != m_generation || m_view.depthColors().scale() != DepthScale::Sequence)
        return;
    const QString name = lastPathComponent(m_path);
    if (!ok) {
        emit statusMessage(QStringLiteral("Could not measure the depths of %1: %2").arg(name, error), true);
        return;
    }
    qCDebug(viewerLog).noquote() << QStringLiteral("whole-video depth range: %1 frames, %2 depths in %3 s")
                                        .arg(depths.frames)
                                        .arg(depths.depths)
                                        .arg(static_cast<double>(m_clock.elapsed()) / 1000.0, 0, 'f', 2);
    m_view.setDepthRange(DepthScale::Sequence, depths.nearDepth, depths.farDepth);
    const int decimals = m_view.sceneDecimals();
    emit statusMessage(
        QStringLiteral("Colours span the whole video: %1 to %2, over %3 frames")
            .arg(sceneNumber(depths.nearDepth, decimals), sceneNumber(depths.farDepth, decimals))
            .arg(depths.frames),
        false);
}
