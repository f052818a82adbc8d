#include "app/playback_controls.h"

#include "app/range_save.h"
#include "app/timeline_bar.h"
#include "app/viewer_window_form.h"
#include "data/frame_files.h"
#include "playback/player.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

PlaybackControls::PlaybackControls(ViewerWindowForm &form, Player &player, const ViewerGLWidget &view,
                                   QObject *parent)
    : QObject(parent), ui(form), m_player(player), m_view(view), m_save(new RangeSave(this)),
      m_saveProgress(new QProgressBar(form.statusBar)), m_cancelSave(new QPushButton(form.statusBar)) {
    // How far a save of the range is, and its Cancel, at the status bar's end while it runs.
    m_saveProgress->setObjectName(QStringLiteral("rangeSaveProgress"));
    m_cancelSave->setObjectName(QStringLiteral("cancelRangeSave"));
    m_cancelSave->setText(tr("Cancel"));
    m_cancelSave->setToolTip(tr("Stop saving the range: the files written so far stay, each whole"));
    for (QWidget *widget : std::initializer_list<QWidget *>{m_saveProgress, m_cancelSave}) {
        ui.statusBar->addPermanentWidget(widget);
        widget->hide();
    }
    connect(m_cancelSave, &QPushButton::clicked, m_save, &RangeSave::cancel);
    connect(m_save, &RangeSave::progressed, m_saveProgress, &QProgressBar::setValue);
    connect(m_save, &RangeSave::finished, this, [this](const QString &said, bool saved) {
        m_saveProgress->hide();
        m_cancelSave->hide();
        emit rangeSaveEnded(said, saved);
    });
    connect(ui.actionSlower, &QAction::triggered, this, [this] { setSpeed(m_speed.step() - 1); });
    connect(ui.actionFaster, &QAction::triggered, this, [this] { setSpeed(m_speed.step() + 1); });
    connect(ui.actionNormalSpeed, &QAction::triggered, this, [this] { setSpeed(PlaybackSpeed::kNormal); });
    connect(ui.timelineBar, &TimelineBar::speedChosen, this, &PlaybackControls::setSpeed);
    connect(ui.actionLoopStart, &QAction::triggered, this, &PlaybackControls::setLoopStart);
    connect(ui.actionLoopEnd, &QAction::triggered, this, &PlaybackControls::setLoopEnd);
    connect(ui.actionClearLoop, &QAction::triggered, this, &PlaybackControls::clearLoop);
    connect(ui.actionSecondBack, &QAction::triggered, this, [this] { stepSeconds(-1); });
    connect(ui.actionSecondForward, &QAction::triggered, this, [this] { stepSeconds(1); });
}

void PlaybackControls::setEnabled(bool enabled) {
    for (QAction *action : ui.menuPlayback->actions())
        action->setEnabled(enabled);
}

void PlaybackControls::setSpeed(int step) {
    m_speed.setStep(step);
    m_player.setSpeed(m_speed.factor());
    ui.timelineBar->showSpeed(m_speed);
}

void PlaybackControls::setLoopStart() {
    LoopRange range = m_player.loopRange();
    range.setStart(m_player.frameShown());
    m_player.setLoopRange(range);
    showLoopRange();
}

void PlaybackControls::setLoopEnd() {
    LoopRange range = m_player.loopRange();
    range.setEnd(m_player.frameShown());
    m_player.setLoopRange(range);
    showLoopRange();
}

void PlaybackControls::clearLoop() {
    m_player.setLoopRange(LoopRange());
    showLoopRange();
}

void PlaybackControls::showLoopRange() {
    if (!m_player.sequence())
        return;
    const LoopRange &range = m_player.loopRange();
    const auto [first, last] = range.bounds(m_player.sequence()->framesFound());
    ui.timelineBar->showLoop(range.isSet() ? first : -1, last);
}

// A second is the file's rate in frames, rounded, and at least one frame, so a slow recording
// still moves.
void PlaybackControls::stepSeconds(int seconds) {
    if (!m_player.sequence())
        return;
    const int frames = std::max(1, static_cast<int>(std::lround(m_player.sequence()->frameRate())));
    emit seekRequested(m_player.frameShown() + seconds * frames, true);
}

QString PlaybackControls::rangeFilter() const {
    const LoopRange &range = m_player.loopRange();
    if (!range.isSet() || !m_player.sequence())
        return {};
    const auto [first, last] = range.bounds(m_player.sequence()->framesFound());
    return tr("Frames %1 to %2, numbered (*.ply *.pt *.xyzm)").arg(first).arg(last);
}

void PlaybackControls::saveRange(const QString &name) {
    OutputName numbered;
    numbered.parse(OutputName::numbering(name), nullptr);
    QString said;
    if (!FrameFiles::writesEnding(numbered.ending())) {
        emit rangeSaveEnded(QStringLiteral("Could not save %1: the name must end in .pt, .xyzm or .ply")
                                .arg(QFileInfo(name).fileName()),
                            false);
        return;
    }
    const FrameFiles files(numbered, m_view.meshSettings(), m_view.viewState().region);
    const QString sequence = m_player.sequence() ? m_player.sequence()->path() : QString();
    if (!m_save->start(sequence, m_player.loopRange(), numbered, files, &said)) {
        emit rangeSaveEnded(said, false);
        return;
    }
    const int count = m_save->last() - m_save->first() + 1;
    m_saveProgress->setRange(0, count);
    m_saveProgress->setValue(0);
    const QString format =
        QStringLiteral("Saving frames %1 to %2: %v of %m").arg(m_save->first()).arg(m_save->last());
    m_saveProgress->setFormat(format);
    // Wide enough for its text at the end of the save.
    const QString longest = QString(format)
                                .replace(QLatin1String("%v"), QString::number(count))
                                .replace(QLatin1String("%m"), QString::number(count));
    m_saveProgress->setMinimumWidth(m_saveProgress->fontMetrics().horizontalAdvance(longest) + 24);
    m_saveProgress->show();
    m_cancelSave->show();
}
