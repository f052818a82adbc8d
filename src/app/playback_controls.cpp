#include "app/playback_controls.h"

#include "app/timeline_bar.h"
#include "app/viewer_window_form.h"
#include "data/frame_files.h"
#include "data/frame_source.h"
#include "playback/player.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>
#include <cmath>

PlaybackControls::PlaybackControls(ViewerWindowForm &form, Player &player, const ViewerGLWidget &view,
                                   QObject *parent)
    : QObject(parent), ui(form), m_player(player), m_view(view) {
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

bool PlaybackControls::saveRange(const QString &name, QString *said) const {
    const QString sequence = m_player.sequence() ? m_player.sequence()->path() : QString();
    OutputName numbered;
    numbered.parse(OutputName::numbering(name), nullptr);
    if (!FrameFiles::writesEnding(numbered.ending())) {
        *said = QStringLiteral("Could not save %1: the name must end in .pt, .xyzm or .ply")
                    .arg(QFileInfo(name).fileName());
        return false;
    }
    FrameSource source;
    QString error;
    if (!source.open(sequence, &error)) {
        *said = QStringLiteral("Could not save the range: %1: %2").arg(QFileInfo(sequence).fileName(), error);
        return false;
    }
    // The range as the file holds it now, which may have been cut short since it was set.
    const auto [first, last] = m_player.loopRange().bounds(source.framesFound());
    const FrameFiles files(numbered, m_view.meshSettings());
    int32_t written = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = files.writeFrames(source, first, last, &written, &error);
    QApplication::restoreOverrideCursor();
    const auto fileOf = [&](int32_t frame) { return QFileInfo(numbered.pathFor(frame)).fileName(); };
    if (ok) {
        *said = QStringLiteral("Saved frames %1 to %2 as %3 to %4")
                    .arg(first)
                    .arg(last)
                    .arg(fileOf(first), fileOf(last));
        return true;
    }
    *said = QStringLiteral("Could not save frames %1 to %2: %3")
                .arg(QString::number(first), QString::number(last), error);
    if (written == 1)
        *said += QStringLiteral("; %1 is written").arg(fileOf(first));
    else if (written > 1)
        *said += QStringLiteral("; %1 to %2 are written").arg(fileOf(first), fileOf(first + written - 1));
    return false;
}
