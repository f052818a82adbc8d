#include "app/change_controls.h"

#include "app/depth_analysis.h"
#include "app/depth_plot_dock.h"
#include "app/timeline_bar.h"
#include "app/viewer_window_form.h"
#include "geometry/depth_maps.h"
#include "geometry/file_info_rows.h"
#include "render/view_state.h"
#include "sequence/frame_sequence.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace {

enum ReferenceChoice { PreviousFrame = 0, SetFrame = 1, MeanOfFirst = 2 };

QAction *action(QMainWindow *window, const char *name, const QString &text, const QString &tip,
                const QString &shortcut) {
    auto *made = new QAction(text, window);
    made->setObjectName(QString::fromLatin1(name));
    made->setToolTip(tip);
    if (!shortcut.isEmpty())
        made->setShortcut(QKeySequence(shortcut));
    window->addAction(made);
    return made;
}

} // namespace

ChangeControls::ChangeControls(ViewerWindowForm &form, ViewerGLWidget &view, QMainWindow *window)
    : QObject(window), ui(form), m_view(view), m_window(window), m_analysis(new DepthAnalysis(this)),
      m_plot(new DepthPlotDock(window)) {
    buildSettings();
    window->addDockWidget(Qt::BottomDockWidgetArea, m_plot);
    m_plot->hide();
    m_setReference = action(window, "actionSetReference", tr("Set reference frame"),
                            tr("Compare the Change colouring with the frame on screen, marked on the "
                               "timeline (R)"),
                            QStringLiteral("R"));
    m_comparePrevious = action(window, "actionComparePrevious", tr("Compare with the previous frame"),
                               tr("The Change colouring compares each frame with the one shown before "
                                  "it (Shift+R)"),
                               QStringLiteral("Shift+R"));
    m_clearPins = action(window, "actionClearPins", tr("Clear pins"), tr("Take away every pin and its plot"),
                         QString());
    ui.menuPlayback->addSeparator();
    ui.menuPlayback->addActions({m_setReference, m_comparePrevious, m_clearPins, m_plot->toggleViewAction()});

    connect(m_setReference, &QAction::triggered, this, &ChangeControls::setReferenceFrame);
    connect(m_comparePrevious, &QAction::triggered, this,
            [this] { m_reference->setCurrentIndex(PreviousFrame); });
    connect(m_clearPins, &QAction::triggered, m_plot, &DepthPlotDock::clearPins);
    connect(&m_view, &ViewerGLWidget::pinRequested, this, &ChangeControls::pin);
    connect(ui.materialTypeComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ChangeControls::followColouring);
    connect(m_plot, &DepthPlotDock::pinsChanged, this, &ChangeControls::pinsChanged);
    connect(m_plot, &DepthPlotDock::seekRequested, this,
            [this](int frame) { emit seekRequested(frame, true); });
    connect(m_plot, &DepthPlotDock::exportRequested, this, &ChangeControls::exportSeries);

    connect(m_analysis, &DepthAnalysis::noiseLevelFound, this, [this](float noise) {
        m_noise = noise;
        followRange();
    });
    connect(m_analysis, &DepthAnalysis::noiseFound, this, [this](int, int first, int last, float median) {
        std::vector<float> noise = m_analysis->takeNoise();
        m_view.changeValues().setNoise(std::move(noise));
        m_view.changeValuesChanged();
        m_noiseRow = noiseInfoRow(median, first, last);
        emit noiseRowChanged();
    });
    connect(m_analysis, &DepthAnalysis::meanFound, this, [this](int frames) {
        if (m_reference->currentIndex() != MeanOfFirst || !m_sequence ||
            std::min(m_meanFrames->value(), m_sequence->framesFound()) != frames)
            return;
        m_view.changeValues().compareWith(m_analysis->takeMean());
        m_view.changeValuesChanged();
    });
    connect(m_analysis, &DepthAnalysis::seriesFound, m_plot, &DepthPlotDock::addValues);
    connect(m_analysis, &DepthAnalysis::failed, this, &ChangeControls::statusMessage);
}

// Two rows at the end of the dock's settings: what the change compares with, and its range.
void ChangeControls::buildSettings() {
    QWidget *dock = ui.dockWidgetContents;
    m_reference = new QComboBox(dock);
    m_reference->setObjectName(QStringLiteral("referenceComboBox"));
    m_reference->addItems({tr("previous"), tr("reference"), tr("mean of first")});
    m_reference->setToolTip(tr("What the Change colouring compares each frame with: the frame shown before "
                               "it, the reference frame (R), or the mean of the first frames"));
    m_meanFrames = new QSpinBox(dock);
    m_meanFrames->setObjectName(QStringLiteral("meanFramesSpinBox"));
    m_meanFrames->setRange(1, 999);
    m_meanFrames->setValue(10);
    m_meanFrames->setToolTip(tr("How many frames from the first the mean takes"));
    m_meanFrames->setEnabled(false);
    m_range = new QDoubleSpinBox(dock);
    m_range->setObjectName(QStringLiteral("changeRangeSpinBox"));
    m_range->setRange(0.0, 9999.0);
    m_range->setDecimals(3);
    m_range->setPrefix(QStringLiteral("\u00b1 "));
    m_range->setSpecialValueText(tr("auto"));
    m_range->setToolTip(tr("The change that takes the full colour either way (and the top of the Noise "
                           "colours); auto: four times the video's temporal noise"));
    auto *against = new QHBoxLayout;
    against->setSpacing(4);
    against->addWidget(m_reference, 1);
    against->addWidget(m_meanFrames);
    auto *label = new QLabel(tr("Change against"), dock);
    label->setObjectName(QStringLiteral("referenceLabel"));
    auto *rangeLabel = new QLabel(tr("Change range"), dock);
    rangeLabel->setObjectName(QStringLiteral("changeRangeLabel"));
    ui.formLayout->addRow(label, against);
    ui.formLayout->addRow(rangeLabel, m_range);
    connect(m_reference, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ChangeControls::followReference);
    connect(m_meanFrames, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ChangeControls::followReference);
    connect(m_range, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ChangeControls::followRange);
}

void ChangeControls::videoOpened(FrameSequence &sequence) {
    m_sequence = &sequence;
    m_frame = 0;
    m_noise = 0.0f;
    m_noiseRow = {};
    m_referenceFrame = -1;
    ui.timelineBar->showReference(-1);
    m_view.changeValues().clear();
    m_analysis->open(sequence.path());
    m_plot->setVideo(sequence.framesFound(), double(sequence.frameRate()));
    {
        // The new video starts compared with its previous frames.
        const QSignalBlocker blocker(m_reference);
        m_reference->setCurrentIndex(PreviousFrame);
        m_meanFrames->setEnabled(false);
    }
    followRange();
}

void ChangeControls::frameOpened() {
    m_sequence = nullptr;
    m_noiseRow = {};
    m_referenceFrame = -1;
    m_view.changeValues().clear();
    m_analysis->close();
    m_plot->setVideo(0, 0.0);
    followRange();
}

void ChangeControls::frameShown(int frame, bool playing) {
    m_frame = frame;
    m_playing = playing;
    m_plot->showFrame(frame);
    askNoiseIfNeeded();
}

// The noise follows the frame on screen while it is drawn, and is told in File Info once paused.
void ChangeControls::askNoiseIfNeeded() {
    if (m_sequence && (m_view.viewState().materialType == Noise || !m_playing))
        m_analysis->askNoise(m_frame);
}

void ChangeControls::setReferenceFrame() {
    if (!m_sequence || !m_view.frame())
        return;
    m_referenceFrame = m_frame;
    ui.timelineBar->showReference(m_frame);
    {
        const QSignalBlocker blocker(m_reference);
        m_reference->setCurrentIndex(SetFrame);
    }
    followReference();
    emit statusMessage(tr("Change against frame %1").arg(m_frame));
}

void ChangeControls::followReference() {
    const int choice = m_reference->currentIndex();
    m_meanFrames->setEnabled(choice == MeanOfFirst);
    ChangeValues &values = m_view.changeValues();
    if (choice == SetFrame && m_referenceFrame < 0 && m_view.frame()) {
        m_referenceFrame = m_frame;
        ui.timelineBar->showReference(m_frame);
    }
    if (choice != SetFrame)
        ui.timelineBar->showReference(-1);
    if (choice == SetFrame && m_sequence) {
        QString error;
        // The frame on screen, or the one set before: from the cache, or read now.
        const SharedFrame reference = m_sequence->frame(m_referenceFrame, &error);
        if (!reference) {
            emit statusMessage(tr("Could not read frame %1: %2").arg(m_referenceFrame).arg(error));
            return;
        }
        values.compareWith(reference);
    } else if (choice == MeanOfFirst && m_sequence) {
        // Until the mean is read, frame 0 stands in: close to what it is a mean of.
        values.compareWith(m_sequence->frame(0, nullptr));
        m_analysis->askMean(std::min(m_meanFrames->value(), m_sequence->framesFound()));
    } else {
        values.comparePrevious();
    }
    m_view.changeValuesChanged();
}

// The range set, or four times the noise once it is read; until then a hundredth of the depths the
// framing spans.
void ChangeControls::followRange() {
    const float set = float(m_range->value());
    const float span = m_view.viewState().framing.boxSize.z();
    const float noise = std::isfinite(m_noise) ? m_noise : 0.0f;
    m_view.setValueRange(set > 0.0f ? set : defaultChangeRange(noise, span), neutralChange(noise));
}

void ChangeControls::followColouring(int materialType) {
    if ((materialType == Change || materialType == Noise) && !m_sequence && m_view.frame())
        emit statusMessage(tr("Change and Noise compare the frames of a 3D video: this file holds one"));
    askNoiseIfNeeded();
}

void ChangeControls::pin(const QPoint &pixel) {
    if (!m_sequence) {
        emit statusMessage(tr("Nothing pinned: a pin plots depth over the frames of a 3D video"));
        return;
    }
    if (!m_plot->addPin(pixel)) {
        if (!m_plot->pins().contains(pixel))
            emit statusMessage(tr("Nothing pinned: %1 pins at most; Playback, Clear pins starts again")
                                   .arg(DepthPlotDock::kMostPins));
        return;
    }
    m_plot->show();
    emit statusMessage(tr("Pinned pixel (%1, %2)").arg(pixel.x()).arg(pixel.y()));
}

const QVector<QPoint> &ChangeControls::pins() const {
    return m_plot->pins();
}

std::optional<SessionReference> ChangeControls::reference() const {
    const int choice = m_reference->currentIndex();
    if (choice == SetFrame && m_referenceFrame >= 0)
        return SessionReference{m_referenceFrame, 0};
    if (choice == MeanOfFirst)
        return SessionReference{-1, m_meanFrames->value()};
    return std::nullopt;
}

void ChangeControls::restore(const QVector<QPoint> &pins, const std::optional<SessionReference> &reference) {
    if (!m_sequence)
        return;
    m_plot->clearPins();
    for (const QPoint &pixel : pins)
        if (pixel.x() < m_sequence->width() && pixel.y() < m_sequence->height())
            m_plot->addPin(pixel);
    const bool frameHeld = reference && reference->frame >= 0 && reference->frame < m_sequence->framesFound();
    {
        const QSignalBlocker blocker(m_reference);
        m_referenceFrame = frameHeld ? reference->frame : -1;
        if (reference && reference->meanFrames > 0)
            m_meanFrames->setValue(reference->meanFrames);
        m_reference->setCurrentIndex(frameHeld                                ? SetFrame
                                     : reference && reference->meanFrames > 0 ? MeanOfFirst
                                                                              : PreviousFrame);
    }
    if (frameHeld)
        ui.timelineBar->showReference(m_referenceFrame);
    followReference();
}

void ChangeControls::pinsChanged() {
    m_view.setPins(m_plot->pins(), m_plot->colours());
    // Only the pins not read through yet are read; none stops the reading.
    if (m_sequence)
        m_analysis->askSeries(m_plot->unfinishedPins());
}

void ChangeControls::exportSeries() {
    const QString name =
        m_sequence ? QFileInfo(m_sequence->path()).completeBaseName() : QStringLiteral("series");
    const QString path = QFileDialog::getSaveFileName(m_window, tr("Export CSV"), name + "_depth.csv",
                                                      tr("CSV Files (*.csv)"));
    m_window->activateWindow();
    if (path.isEmpty())
        return;
    QString error;
    if (m_plot->writeCsv(path, &error))
        emit statusMessage(tr("Saved %1").arg(QFileInfo(path).fileName()));
    else
        emit statusMessage(tr("Could not save %1: %2").arg(QFileInfo(path).fileName(), error));
}
