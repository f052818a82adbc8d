#include "app/viewer_window.h"

#include "app/change_controls.h"
#include "app/depth_scale_control.h"
#include "app/keys_and_mouse_window.h"
#include "app/playback_controls.h"
#include "app/recent_files.h"
#include "app/region_panel.h"
#include "app/scan_file_names.h"
#include "app/timeline_bar.h"
#include "app/viewer_window_form.h"
#include "app/views_menu.h"
#include "app/window_placement.h"
#include "data/frame_files.h"
#include "data/region.h"
#include "data/scan_format.h"
#include "data/scan_frame_store.h"
#include "geometry/file_info_rows.h"
#include "playback/player.h"
#include "render/color_legend.h"
#include "render/scene_numbers.h"
#include "sequence/frame_sequence.h"
#include "view/viewer_gl_widget.h"
#include "view/viewer_log.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QUrl>

namespace {

constexpr int kStatusMessageMs = 2100;
const QString kHideDepthJumpsKey = QStringLiteral("view/hideDepthJumps");
const QString kDepthJumpFactorKey = QStringLiteral("view/depthJumpFactor");
const QString kDetailKey = QStringLiteral("view/detail");
const QString kWheelZoomsKey = QStringLiteral("view/wheelZooms");
const QString kWheelStepKey = QStringLiteral("view/wheelStep");
const QString kFrameCacheKey = QStringLiteral("view/frameCacheMB");
const QString kEyeDomeStylesKey = QStringLiteral("view/eyeDomeStyles");
const QString kEyeDomeStrengthKey = QStringLiteral("view/eyeDomeStrength");
const QString kEyeDomeRadiusKey = QStringLiteral("view/eyeDomeRadius");
const QString kPointSizeKey = QStringLiteral("view/pointSize");
// The styles by the names `pelnor render --style` gives them, in MeshType's order.
const QStringList kStyleNames = {QStringLiteral("shaded"), QStringLiteral("wireframe"),
                                 QStringLiteral("points")};
constexpr int64_t kMegabyte = 1 << 20;
constexpr int kMirrorMessageMs = 670;
// The folder each file dialog was last answered in.
const QString kOpenFolderKey = QStringLiteral("files/openFolder");
const QString kSaveFolderKey = QStringLiteral("files/saveFolder");
const QString kSnapshotFolderKey = QStringLiteral("files/snapshotFolder");

void rememberDialogFolder(const QString &key, const QString &chosen) {
    QSettings().setValue(key, QFileInfo(chosen).absolutePath());
}

// A name typed without an ending gets the ending of the file type chosen in the dialog, taken
// from its filter ("PT Files (*.pt)" gives ".pt").
QString withChosenEnding(const QString &name, const QString &filter) {
    if (name.isEmpty() || QFileInfo(name).fileName().contains(QLatin1Char('.')))
        return name;
    const QRegularExpressionMatch ending = QRegularExpression(QStringLiteral(R"(\*(\.\w+))")).match(filter);
    return ending.hasMatch() ? name + ending.captured(1) : name;
}

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<ViewerWindowForm>()) {
    ui->setupUi(this);
    m_player = new Player(this);
    connect(m_player, &Player::frameReady, this, [this](const SharedFrame &frame, int index, bool frameIt) {
        view().showFrame(frame, frameIt);
        sequenceFrameShown(index);
    });
    connect(m_player, &Player::playingChanged, &view(), &ViewerGLWidget::setPlaying);
    connect(&view(), &ViewerGLWidget::framePainted, m_player, &Player::framePainted);
    connect(m_player, &Player::statusMessage, this, &ViewerWindow::showStatusMessage);
    m_playback = new PlaybackControls(*ui, *m_player, view(), this);
    connect(m_playback, &PlaybackControls::seekRequested, this, &ViewerWindow::seekSequence);
    connect(m_playback, &PlaybackControls::rangeSaveEnded, this, [this](const QString &said, bool saved) {
        qCDebug(viewerLog).noquote() << said;
        ui->statusBar->showMessage(said, saved ? kStatusMessageMs : kFailureMessageMs);
    });
    m_change = new ChangeControls(*ui, view(), this);
    connect(m_change, &ChangeControls::seekRequested, this, &ViewerWindow::seekSequence);
    connect(m_change, &ChangeControls::statusMessage, this, &ViewerWindow::showStatusMessage);
    connect(m_change, &ChangeControls::noiseRowChanged, this, [this] {
        if (!m_player->isPlaying())
            fillFileInfoTable();
    });
    m_recent = new RecentFiles(ui->menuRecent);
    connect(m_recent, &RecentFiles::chosen, this, &ViewerWindow::openFile);
    connect(m_recent, &RecentFiles::gone, this, [this](const QString &path) {
        showFailure(QStringLiteral("Could not open "), lastPathComponent(path),
                    QStringLiteral("the file is gone from the disk, and from Open Recent"));
    });
    m_depthScale = new DepthScaleControl(*ui->depthScaleComboBox, view(), this);
    m_views = new ViewsMenu(*this, ui->menuHelp, view(), *ui->actionMirrorModel, *m_depthScale);
    for (QObject *source : std::initializer_list<QObject *>{m_depthScale, m_views})
        connect(source, SIGNAL(statusMessage(QString, bool)), this, SLOT(showMessage(QString, bool)));
    connect(m_depthScale, &DepthScaleControl::rangeKept, this, &ViewerWindow::followSliders);
    // Escape ends the program without closing the window, so the layout and the session are kept at
    // the end too.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        saveWindowLayout(*this);
        m_views->leaveScan();
    });
    connect(ui->viewerOpenGLWidget, &ViewerGLWidget::statusMessageRequested, this,
            &ViewerWindow::showStatusMessage);
    connect(ui->viewerOpenGLWidget, &ViewerGLWidget::pickTextChanged, ui->pickStatusLabel, &QLabel::setText);
    connect(ui->viewerOpenGLWidget, &ViewerGLWidget::colorRangeChanged, this, &ViewerWindow::showDepthRange);
    connect(ui->materialTypeComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ViewerWindow::followColouring);
    view().setLegendShown(true);
    connect(m_player, &Player::paused, this, &ViewerWindow::playbackFailed);
    connect(m_player, &Player::paceMeasured, ui->timelineBar, &TimelineBar::showPace);
    connect(ui->timelineBar, &TimelineBar::frameRequested, this, &ViewerWindow::showSequenceFrame);
    connect(ui->timelineBar, &TimelineBar::scrubbing, m_player, &Player::hold);
    setAcceptDrops(true);
    instanceId = -1;

    if (ui->actionSetControlMethodRotate->isChecked())
        controlMethod = ViewerGLWidget::Rotate;
    else if (ui->actionSetControlMethodTranslate->isChecked())
        controlMethod = ViewerGLWidget::Translate;
    else if (ui->actionSetControlMethodZoom->isChecked())
        controlMethod = ViewerGLWidget::Zoom;
    qCDebug(viewerLog).noquote() << "Current control type:" << controlMethod;

    // Until a frame is loaded there is nothing to take a picture of or to save.
    ui->actionSaveScreenshot->setEnabled(false);
    ui->actionSave3DFile->setEnabled(false);
    ui->actionReplay->setEnabled(false);
    setSequenceControlsEnabled(false);
    view().setControlMethod(static_cast<ViewerGLWidget::ControlMethod>(controlMethod));
    view().setCursor(Qt::OpenHandCursor);
    // The window starts with the keys in the view, not in the first field of the dock.
    view().setFocus();
    // The light slider was set before it was wired to the view, so the view learns its value here.
    view().changeLightIntensity(ui->lightIntensityHorizontalSlider->value());
    ui->sliderMinZ->setValue(1);
    ui->sliderMaxZ->setValue(100);
    // Set by the window, not by a hand: the first frame still takes its own range.
    view().setDepthScale(DepthScale::FirstFrame);
    followColouring(ui->materialTypeComboBox->currentIndex());

    // An expanding spacer pushes File Info to the right end of the tool bar.
    QAction *fileInfo = ui->mainToolBar->actions().constLast();
    auto *spacer = new QWidget(ui->mainToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->mainToolBar->addWidget(spacer);
    ui->mainToolBar->addAction(fileInfo);

    // The version at the right end of the status bar, where messages never cover it.
    auto *version = new QLabel(QStringLiteral("Pelnor Viewer " PELNOR_VERSION), ui->statusBar);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setEnabled(false);
    ui->statusBar->addPermanentWidget(version);

    fileInfoTable = std::make_unique<QTableWidget>(0, 2);

    // The depth-jump rule as the user left it; off on the first run.
    const QSettings settings;
    ui->depthJumpFactorSpinBox->setValue(settings.value(kDepthJumpFactorKey, 5.0).toDouble());
    ui->actionHideDepthJumps->setChecked(settings.value(kHideDepthJumpsKey, false).toBool());
    followDepthJumps();
    connect(ui->actionHideDepthJumps, &QAction::toggled, this, &ViewerWindow::followDepthJumps);
    connect(ui->depthJumpFactorSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ViewerWindow::followDepthJumps);

    ui->detailStatusLabel = new QLabel(ui->statusBar);
    ui->detailStatusLabel->setObjectName(QStringLiteral("detailStatusLabel"));
    // After the picks' text, before the permanent widgets already there.
    ui->statusBar->insertPermanentWidget(1, ui->detailStatusLabel);
    showDetail(1);
    ui->actionFullDetail->setChecked(settings.value(kDetailKey).toString() == QLatin1String("full"));
    followDetail();
    connect(ui->actionFullDetail, &QAction::toggled, this, &ViewerWindow::followDetail);
    connect(ui->viewerOpenGLWidget, &ViewerGLWidget::detailChanged, this, &ViewerWindow::showDetail);
    connect(ui->actionFitColors, &QAction::triggered, this, &ViewerWindow::fitColorsToFrame);
    // The lighting and the points as the user left them; on the first run, lighting in the Points
    // style and points as wide as their spacing.
    const QStringList lit =
        settings.value(kEyeDomeStylesKey, QStringList{kStyleNames.at(PointCloud)}).toStringList();
    for (const QString &style : lit)
        if (kStyleNames.contains(style))
            m_eyeDomeStyles |= 1u << kStyleNames.indexOf(style);
    ui->eyeDomeStrengthSpinBox->setValue(
        settings.value(kEyeDomeStrengthKey, double(EyeDome::kDefaultStrength)).toDouble());
    ui->eyeDomeRadiusSpinBox->setValue(
        settings.value(kEyeDomeRadiusKey, double(EyeDome::kDefaultRadius)).toDouble());
    const QString pointSize = settings.value(kPointSizeKey, QStringLiteral("automatic")).toString();
    ui->pointSizeSpinBox->setValue(pointSize == QLatin1String("automatic") ? kAutomaticPointSize
                                                                           : pointSize.toInt());
    showEyeDomeOfStyle();
    followEyeDome();
    followPointSize();
    connect(ui->actionEyeDome, &QAction::toggled, this, [this](bool on) {
        const int shown = ui->meshTypeComboBox->currentIndex();
        if (shown < 0)
            return;
        const uint32_t style = 1u << shown;
        m_eyeDomeStyles = on ? m_eyeDomeStyles | style : m_eyeDomeStyles & ~style;
        followEyeDome();
    });
    connect(ui->meshTypeComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ViewerWindow::showEyeDomeOfStyle);
    connect(ui->eyeDomeStrengthSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ViewerWindow::followEyeDome);
    connect(ui->eyeDomeRadiusSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ViewerWindow::followEyeDome);
    connect(ui->pointSizeSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ViewerWindow::followPointSize);
    // The wheel as the user left it; it does nothing on the first run.
    ui->wheelStepSpinBox->setValue(settings.value(kWheelStepKey, 10.0).toDouble());
    ui->wheelZoomsCheckBox->setChecked(settings.value(kWheelZoomsKey, false).toBool());
    followWheelZoom();
    connect(ui->wheelZoomsCheckBox, &QCheckBox::toggled, this, &ViewerWindow::followWheelZoom);
    connect(ui->wheelStepSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &ViewerWindow::followWheelZoom);
    // The frame cache as the user left it; at first a quarter of the memory free, at most 1 GiB.
    ui->frameCacheSpinBox->setValue(
        settings.value(kFrameCacheKey, static_cast<int>(FrameSequence::defaultBudget() / kMegabyte)).toInt());
    connect(ui->frameCacheSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &ViewerWindow::followFrameCache);

    // A tab beside the settings, so that a window of 800 x 600 still holds both; a layout the user
    // left is restored over it.
    m_region = new RegionPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, m_region);
    tabifyDockWidget(ui->dockWidget, m_region);
    ui->dockWidget->raise();
    connect(m_region, &RegionPanel::regionChanged, this, &ViewerWindow::followRegion);
    connect(m_region, &RegionPanel::fitRequested, this, &ViewerWindow::fitRegionToFrame);
    // The region is part of a scan's session: kept with it, and there again when the scan opens.
    m_views->addPart(
        {[this](ScanSession &session) { session.region = m_region->region(); },
         [this](const ScanSession &session) { m_region->setRegion(session.region.value_or(Region())); }});
    m_views->addPart(
        {[this](ScanSession &session) {
             session.pins = m_change->pins();
             session.reference = m_change->reference();
         },
         [this](const ScanSession &session) { m_change->restore(session.pins, session.reference); }});
}

ViewerWindow::~ViewerWindow() {
    m_views->leaveScan();
    // The player lets go of the sequence before the sequence goes.
    m_player->stop();
}

ViewerGLWidget &ViewerWindow::view() {
    return *ui->viewerOpenGLWidget;
}

const ScanFrameStore *ViewerWindow::shownFrame() const {
    return ui->viewerOpenGLWidget->frame().get();
}

bool ViewerWindow::showsSequence() const {
    return m_sequence && m_sequence->isSequence() && m_player->sequence() == m_sequence.get();
}

void ViewerWindow::openFile(QString path) {
    if (path.isEmpty())
        return;
    const QString name = lastPathComponent(path);
    QString error = QStringLiteral("not a scan file (the name must end in .xyzm, .pt or .ptv)");
    // The file is read before anything on screen is let go, so a broken file costs nothing.
    auto opened = std::make_unique<FrameSequence>(frameCacheBudget());
    if (scanFormatOf(path) == ScanFormat::Unknown || !opened->open(path, &error, stdout)) {
        showFailure(QStringLiteral("Could not open "), name, error);
        return;
    }
    if (opened->isSequence())
        openSequence(std::move(opened), name);
    else
        openSingleFrame(std::move(opened), name);
}

void ViewerWindow::openSequence(std::unique_ptr<FrameSequence> sequence, const QString &name) {
    QString error;
    m_views->leaveScan();
    // The player reads the first frame before it lets go of what it shows.
    if (!m_player->play(*sequence, &error)) {
        showFailure(QStringLiteral("Could not open "), name, error);
        return;
    }
    const QString path = sequence->path();
    m_sequence = std::move(sequence);
    view().clearPicks();
    m_region->clear();
    m_change->videoOpened(*m_sequence);
    followSequenceHeader();
    ui->timelineBar->showPace(-1.0);
    setSequenceControlsEnabled(true);
    ui->actionReplay->setEnabled(true);
    ui->actionSaveScreenshot->setEnabled(false);
    ui->actionSave3DFile->setEnabled(false);
    {
        // The sequence already plays; Play only shows it.
        const QSignalBlocker blocker(ui->actionReplay);
        ui->actionReplay->setChecked(true);
    }
    setWindowTitle(name + QStringLiteral(" | 3D Video Viewer"));
    m_recent->add(path);
    m_views->enterScan(path, m_sequence->width(), m_sequence->height());
}

void ViewerWindow::openSingleFrame(std::unique_ptr<FrameSequence> file, const QString &name) {
    QString error;
    const SharedFrame frame = file->frame(0, &error);
    if (!frame) {
        showFailure(QStringLiteral("Could not open "), name, error);
        return;
    }
    const QString path = file->path();
    m_player->stop();
    m_player->forgetCounter();
    m_sequence = std::move(file);
    ui->actionReplay->setEnabled(false);
    {
        // Play shows no sequence now; it is off, not lit while it cannot be pressed.
        const QSignalBlocker blocker(ui->actionReplay);
        ui->actionReplay->setChecked(false);
    }
    setSequenceControlsEnabled(false);
    view().clearPicks();
    m_views->leaveScan();
    // A box in one scan's coordinates means nothing in another's: the region lasts while its file is
    // open.
    m_region->clear();
    m_change->frameOpened();
    view().showFrame(frame, true);
    ui->actionViewFileInfo->setEnabled(true);
    ui->actionSaveScreenshot->setEnabled(true);
    ui->actionSave3DFile->setEnabled(true);
    fillFileInfoTable();
    ui->actionSetControlMethodRotate->setChecked(true);
    setWindowTitle(name + QStringLiteral(" | Pelnor Viewer"));
    m_recent->add(path);
    m_views->enterScan(path, m_sequence->width(), m_sequence->height());
}

void ViewerWindow::showStatusMessage(QString text) {
    ui->statusBar->showMessage(text, kStatusMessageMs);
}

void ViewerWindow::showMessage(const QString &text, bool failed) {
    if (failed)
        qCDebug(viewerLog).noquote() << text;
    ui->statusBar->showMessage(text, failed ? kFailureMessageMs : kStatusMessageMs);
}

void ViewerWindow::showFailure(const QString &what, const QString &name, const QString &reason) {
    const QString text = what + name + QStringLiteral(": ") + reason;
    qCDebug(viewerLog).noquote() << text;
    ui->statusBar->showMessage(text, kFailureMessageMs);
}

// Before the first answer, file dialogs open in the folder of the scan on screen, or in the working
// folder before the first scan. (Qt's own dialog reads ":" as the resource tree, where a typed name
// cannot be saved.)
QString ViewerWindow::dialogDirectory(const QString &key) const {
    const QString remembered = QSettings().value(key).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered;
    if (m_sequence) {
        const QFileInfo scan(m_sequence->path());
        if (scan.absoluteDir().exists())
            return scan.absolutePath();
    }
    return QDir::currentPath();
}

void ViewerWindow::open3DFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open 3D File"), dialogDirectory(kOpenFolderKey), tr("3D Files (*.xyzm *.pt *.ptv)"));
    takeKeysBack();
    if (!path.isEmpty())
        rememberDialogFolder(kOpenFolderKey, path);
    openFile(path);
}

void ViewerWindow::save3DFile() {
    const ScanFrameStore *shown = shownFrame();
    if (!shown)
        return;
    // A coordinate frame has no phase to write as PT.
    const bool coordinates = shown->frameKind == XyzmFrame;
    // A sequence stops before the dialog, so the frame saved is the one on screen.
    if (!coordinates && ui->actionReplay->isChecked()) {
        if (showsSequence()) {
            m_player->pause();
            ui->actionSaveScreenshot->setEnabled(true);
            ui->actionSave3DFile->setEnabled(true);
        }
        ui->actionReplay->setChecked(false);
    }
    QString chosen;
    QString filter = coordinates ? tr("XYZM Files (*.xyzm);; PLY Files (*.ply)")
                                 : tr("PT Files (*.pt);; XYZM Files (*.xyzm);; PLY Files (*.ply)");
    // With a loop range set, a sequence offers the frame on screen or the range.
    const QString range = showsSequence() ? m_playback->rangeFilter() : QString();
    if (!range.isEmpty())
        filter = tr("This frame: PT Files (*.pt);; This frame: XYZM Files (*.xyzm);; This frame: PLY Files "
                    "(*.ply);; ") +
                 range;
    const QString name = withChosenEnding(
        QFileDialog::getSaveFileName(this, tr("Save File"), dialogDirectory(kSaveFolderKey), filter, &chosen),
        chosen);
    takeKeysBack();
    if (name.isEmpty())
        return;
    rememberDialogFolder(kSaveFolderKey, name);
    if (!range.isEmpty() && chosen == range) {
        m_playback->saveRange(name);
        return;
    }
    // The frame on screen, shared with the view and the cache, is only read.
    QString error;
    const Region &region = view().viewState().region;
    const bool cuts = region.isSet() && FrameFiles::cutsToRegion(QFileInfo(name).suffix().toLower());
    const bool empty = cuts && !keepsAnyPoint(*shown, region);
    if (!FrameFiles::saveFrame(name, *shown, view().meshSettings(), region, &error)) {
        showFailure(QStringLiteral("Could not save "), lastPathComponent(name), error);
        return;
    }
    QString said = QStringLiteral("Saved ") + lastPathComponent(name);
    if (region.isSet() && !cuts)
        said += QStringLiteral(": a .pt keeps the raw phase of the whole frame, which the region does not "
                               "apply to");
    if (empty)
        said += QStringLiteral(": the region keeps no point of this frame, so the file holds none");
    ui->statusBar->showMessage(said, region.isSet() ? kFailureMessageMs : kStatusMessageMs);
}

void ViewerWindow::viewFileInfo() {
    fileInfoTable->show();
    fileInfoTable->raise();
    fileInfoTable->activateWindow();
}

void ViewerWindow::saveScreenshot() {
    qCDebug(viewerLog).noquote() << "User wants to save screenshot...";
    const QString date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
    QString baseName = QStringLiteral("capture");
    if (m_sequence)
        baseName = lastPathComponent(m_sequence->path()).split(QLatin1Char('.')).constFirst();
    const QString proposed = QStringLiteral("Screenshot_") + date + QLatin1Char('_') + baseName + ".png";
    QString chosen;
    const QString name = withChosenEnding(
        QFileDialog::getSaveFileName(this, tr("Save Screenshot"),
                                     QDir(dialogDirectory(kSnapshotFolderKey)).filePath(proposed),
                                     tr("PNG Files (*.png)"), &chosen),
        chosen);
    takeKeysBack();
    if (name.isEmpty())
        return;
    rememberDialogFolder(kSnapshotFolderKey, name);
    // The suffix of the name picks the image format; a name typed without one is a PNG.
    const QImage image = view().fullDetailPicture();
    if (image.save(name))
        showStatusMessage(QStringLiteral("Screenshot successfully saved."));
    else
        showStatusMessage(QStringLiteral("Error saving screenshot."));
}

void ViewerWindow::dock_didUndock() {}

// The three control methods act as one exclusive group that can never be left empty: unchecking
// the active one checks it again.
void ViewerWindow::setRotation(bool isChecked) {
    if (!isChecked) {
        if (!ui->actionSetControlMethodTranslate->isChecked() && !ui->actionSetControlMethodZoom->isChecked())
            ui->actionSetControlMethodRotate->setChecked(true);
        return;
    }
    controlMethod = ViewerGLWidget::Rotate;
    ui->actionSetControlMethodTranslate->setChecked(false);
    ui->actionSetControlMethodZoom->setChecked(false);
    view().setControlMethod(ViewerGLWidget::Rotate);
    view().setCursor(Qt::OpenHandCursor);
}

void ViewerWindow::setTranslation(bool isChecked) {
    if (!isChecked) {
        if (!ui->actionSetControlMethodRotate->isChecked() && !ui->actionSetControlMethodZoom->isChecked())
            ui->actionSetControlMethodTranslate->setChecked(true);
        return;
    }
    controlMethod = ViewerGLWidget::Translate;
    ui->actionSetControlMethodRotate->setChecked(false);
    ui->actionSetControlMethodZoom->setChecked(false);
    view().setControlMethod(ViewerGLWidget::Translate);
    view().setCursor(Qt::SizeAllCursor);
}

void ViewerWindow::setZoom(bool isChecked) {
    if (!isChecked) {
        if (!ui->actionSetControlMethodRotate->isChecked() &&
            !ui->actionSetControlMethodTranslate->isChecked())
            ui->actionSetControlMethodZoom->setChecked(true);
        return;
    }
    controlMethod = ViewerGLWidget::Zoom;
    ui->actionSetControlMethodRotate->setChecked(false);
    ui->actionSetControlMethodTranslate->setChecked(false);
    view().setControlMethod(ViewerGLWidget::Zoom);
    view().setCursor(Qt::SizeVerCursor);
}

void ViewerWindow::setMirrorGeometry(bool isChecked) {
    view().setShouldMirrorGeo(isChecked);
    ui->statusBar->showMessage(isChecked ? QStringLiteral("Mirroring geometry...")
                                         : QStringLiteral("Un-mirroring geometry..."),
                               kMirrorMessageMs);
}

void ViewerWindow::replayVideo(bool isChecked) {
    if (!showsSequence())
        return;
    if (!isChecked) {
        m_player->pause();
        showPaused();
        return;
    }
    QString error;
    // The sequence may have gone from the disk while it was paused: Play then stays off.
    if (!m_player->play(*m_sequence, &error)) {
        const QSignalBlocker blocker(ui->actionReplay);
        ui->actionReplay->setChecked(false);
        showFailure(QStringLiteral("Could not open "), lastPathComponent(m_sequence->path()), error);
        return;
    }
    // Resuming read the header again: the file may have grown or been cut short meanwhile.
    followSequenceHeader();
    ui->actionSaveScreenshot->setEnabled(false);
    ui->actionSave3DFile->setEnabled(false);
}

void ViewerWindow::showPaused() {
    ui->actionSaveScreenshot->setEnabled(true);
    ui->actionSave3DFile->setEnabled(true);
    ui->timelineBar->showPace(-1.0);
    ui->timelineBar->showPlaying(false);
    fillFileInfoTable();
}

void ViewerWindow::playbackFailed(const QString &reason) {
    {
        const QSignalBlocker blocker(ui->actionReplay);
        ui->actionReplay->setChecked(false);
    }
    showPaused();
    showFailure(QStringLiteral("Paused "), lastPathComponent(m_sequence->path()), reason);
}

void ViewerWindow::followSequenceHeader() {
    ui->timelineBar->setSequence(m_sequence->framesFound(), m_sequence->frameCount(),
                                 static_cast<double>(m_sequence->frameRate()));
    ui->timelineBar->showFrame(m_player->frameShown());
    m_playback->showLoopRange();
}

// The depth sliders and their depths mean something only while the colouring follows depth.
void ViewerWindow::followColouring(int materialType) {
    const bool byDepth = ColorLegend::coloursByDepth(materialType);
    for (QWidget *widget : std::initializer_list<QWidget *>{
             ui->label, ui->sliderMinZ, ui->labelMinZDepth, ui->label_2, ui->sliderMaxZ, ui->labelMaxZDepth,
             ui->fitColorsButton, ui->depthScaleLabel, ui->depthScaleComboBox})
        widget->setEnabled(byDepth);
}

// Min Z Color sets the depth that gets the ramp's first colour, the high end; Max Z Color the low end.
void ViewerWindow::showDepthRange(float lowEnd, float highEnd) {
    const int decimals = view().sceneDecimals();
    ui->labelMinZDepth->setText(sceneNumber(highEnd, decimals));
    ui->labelMaxZDepth->setText(sceneNumber(lowEnd, decimals));
    // A range the sliders did not set (a fit, a whole video's): they show where it stands. A fixed
    // range is the sliders' own.
    if (view().depthColors().scale() != DepthScale::Fixed)
        followSliders();
}

void ViewerWindow::followSliders() {
    const QVector3D range = view().viewState().colorZrange;
    const QSignalBlocker minBlocker(ui->sliderMinZ), maxBlocker(ui->sliderMaxZ);
    ui->sliderMinZ->setValue(view().sliderForDepth(range.y()));
    ui->sliderMaxZ->setValue(view().sliderForDepth(range.x()));
}

void ViewerWindow::setSequenceControlsEnabled(bool enabled) {
    ui->timelineBar->setVisible(enabled);
    for (QAction *action :
         {ui->actionStepBack, ui->actionStepForward, ui->actionFirstFrame, ui->actionLastFrame})
        action->setEnabled(enabled);
    m_playback->setEnabled(enabled);
}

void ViewerWindow::seekSequence(int frame, bool pause) {
    if (!showsSequence() || ui->timelineBar->isHidden())
        return;
    frame = qBound(0, frame, ui->timelineBar->frameCount() - 1);
    if (pause && ui->actionReplay->isChecked())
        ui->actionReplay->setChecked(false);
    QString error;
    const bool shown = m_player->seek(frame, &error);
    // A paused seek reads the header again; the timeline follows it.
    followSequenceHeader();
    if (!shown)
        showFailure(QStringLiteral("Could not show frame %1 of ").arg(frame),
                    lastPathComponent(m_sequence->path()), error);
}

void ViewerWindow::showSequenceFrame(int frame) {
    seekSequence(frame, false);
}

// Stepping pauses, as in video players; the first and last frame keep playback as it was.
void ViewerWindow::stepBack() {
    seekSequence(m_player->frameShown() - 1, true);
}

void ViewerWindow::stepForward() {
    seekSequence(m_player->frameShown() + 1, true);
}

void ViewerWindow::firstFrame() {
    seekSequence(0, false);
}

void ViewerWindow::lastFrame() {
    seekSequence(ui->timelineBar->frameCount() - 1, false);
}

void ViewerWindow::sequenceFrameShown(int frame) {
    ui->timelineBar->showPlaying(m_player->isPlaying());
    ui->timelineBar->showFrame(frame);
    m_change->frameShown(frame, m_player->isPlaying());
    // While playing, the facts would be stale at once; they follow the frame a user stops at.
    if (!m_player->isPlaying())
        fillFileInfoTable();
}

void ViewerWindow::showKeysAndMouse() {
    if (!keysAndMouse) {
        // Every action of the window with a shortcut, in the order they were made.
        keysAndMouse = new KeysAndMouseWindow(findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly),
                                              ViewerGLWidget::keysAndMouse(), this);
        connect(keysAndMouse, &QDialog::finished, this, &ViewerWindow::takeKeysBack);
    }
    keysAndMouse->show();
    keysAndMouse->raise();
    keysAndMouse->activateWindow();
}

// A window manager hands the keys back to the main window when one of its dialogs closes. Without
// one, the X server lets the keyboard focus fall to the root window instead: no window of the
// program is active, so no shortcut answers, and a key goes to the focus widget of whichever window
// lies under the pointer (Space opened the Rendering Style list) or to none at all. The window asks
// for the keys back itself; with a window manager it has them already.
void ViewerWindow::takeKeysBack() {
    if (isVisible())
        activateWindow();
}

void ViewerWindow::fillFileInfoTable() {
    const ScanFrameStore *shown = shownFrame();
    if (!shown)
        return;
    fileInfoTable->clear();
    fileInfoTable->setWindowTitle(QStringLiteral("About ") + shown->fileName);
    const Region &region = view().viewState().region;
    const SurfaceFacts facts = shown->measureSurface(region);
    if (region.isSet() && facts.validCount == 0)
        sayRegionKeepsNothing();
    const QVector<QPair<QString, QString>> rows = fileInfoRows(*shown, facts, region);
    for (int r = 0; r < rows.size(); ++r) {
        fileInfoTable->setRowCount(r + 1);
        fileInfoTable->setItem(r, 0, new QTableWidgetItem(rows.at(r).first));
        fileInfoTable->setItem(r, 1, new QTableWidgetItem(rows.at(r).second));
    }
    if (showsSequence()) {
        const int r = fileInfoTable->rowCount();
        fileInfoTable->setRowCount(r + 1);
        fileInfoTable->setItem(r, 0, new QTableWidgetItem(QStringLiteral("Frame:")));
        fileInfoTable->setItem(
            r, 1,
            new QTableWidgetItem(
                QStringLiteral("%1 / %2").arg(m_player->frameShown()).arg(m_sequence->framesFound())));
        const QPair<QString, QString> noise = m_change->noiseRow();
        if (!noise.first.isEmpty()) {
            fileInfoTable->setRowCount(r + 2);
            fileInfoTable->setItem(r + 1, 0, new QTableWidgetItem(noise.first));
            fileInfoTable->setItem(r + 1, 1, new QTableWidgetItem(noise.second));
        }
    }
    fileInfoTable->resizeColumnsToContents();
    fileInfoTable->resizeRowsToContents();
    fileInfoTable->resize(600, 400);
}

void ViewerWindow::followDepthJumps() {
    const bool hide = ui->actionHideDepthJumps->isChecked();
    const double factor = ui->depthJumpFactorSpinBox->value();
    view().setDepthJumpRule(hide, factor);
    QSettings settings;
    settings.setValue(kHideDepthJumpsKey, hide);
    settings.setValue(kDepthJumpFactorKey, factor);
}

void ViewerWindow::followDetail() {
    const bool full = ui->actionFullDetail->isChecked();
    view().setAutomaticDetail(!full);
    QSettings().setValue(kDetailKey, full ? QStringLiteral("full") : QStringLiteral("automatic"));
}

void ViewerWindow::showDetail(int stride) {
    const QString nth = stride == 2 ? QStringLiteral("2nd") : QStringLiteral("%1th").arg(stride);
    ui->detailStatusLabel->setText(
        stride > 1 ? QStringLiteral("Coarser while moving: every %1 row and column").arg(nth) : QString());
    ui->detailStatusLabel->setVisible(stride > 1);
}

void ViewerWindow::fitColorsToFrame() {
    // The sliders follow the range fitted (showDepthRange).
    view().fitColorRangeToFrame();
}

void ViewerWindow::followEyeDome() {
    view().setEyeDome(m_eyeDomeStyles, ui->eyeDomeStrengthSpinBox->value(),
                      ui->eyeDomeRadiusSpinBox->value());
    QStringList lit;
    for (int style = 0; style < kStyleNames.size(); ++style)
        if (m_eyeDomeStyles >> style & 1u)
            lit << kStyleNames.at(style);
    QSettings settings;
    settings.setValue(kEyeDomeStylesKey, lit);
    settings.setValue(kEyeDomeStrengthKey, ui->eyeDomeStrengthSpinBox->value());
    settings.setValue(kEyeDomeRadiusKey, ui->eyeDomeRadiusSpinBox->value());
}

void ViewerWindow::showEyeDomeOfStyle() {
    const bool on = EyeDome{m_eyeDomeStyles, 1.0f, 1.0f}.shades(ui->meshTypeComboBox->currentIndex());
    const QSignalBlocker action(ui->actionEyeDome), box(ui->eyeDomeCheckBox);
    ui->actionEyeDome->setChecked(on);
    ui->eyeDomeCheckBox->setChecked(on);
}

void ViewerWindow::followPointSize() {
    const int pixels = ui->pointSizeSpinBox->value();
    view().setPointSize(pixels);
    QSettings().setValue(kPointSizeKey, pixels == kAutomaticPointSize ? QStringLiteral("automatic")
                                                                      : QString::number(pixels));
}

void ViewerWindow::followWheelZoom() {
    const bool zooms = ui->wheelZoomsCheckBox->isChecked();
    const double step = ui->wheelStepSpinBox->value();
    view().setWheelZoom(zooms ? step / 100.0 : 0.0);
    QSettings settings;
    settings.setValue(kWheelZoomsKey, zooms);
    settings.setValue(kWheelStepKey, step);
}

int64_t ViewerWindow::frameCacheBudget() const {
    return ui->frameCacheSpinBox->value() * kMegabyte;
}

void ViewerWindow::followFrameCache() {
    if (m_sequence)
        m_sequence->setBudget(frameCacheBudget());
    QSettings().setValue(kFrameCacheKey, ui->frameCacheSpinBox->value());
}

void ViewerWindow::followRegion() {
    const Region region = m_region->region();
    view().setRegion(region);
    m_depthScale->regionChanged();
    const ScanFrameStore *shown = shownFrame();
    if (!shown)
        return;
    // While playing, the facts would be stale at once: only the emptiness is said.
    if (!m_player->isPlaying())
        fillFileInfoTable();
    else if (region.isSet() && !keepsAnyPoint(*shown, region))
        sayRegionKeepsNothing();
}

void ViewerWindow::fitRegionToFrame() {
    const ScanFrameStore *shown = shownFrame();
    const SurfaceFacts facts = shown ? shown->measureSurface() : SurfaceFacts();
    if (facts.validCount == 0) {
        showStatusMessage(QStringLiteral("Nothing measured to fit the region to"));
        return;
    }
    m_region->fitTo(facts);
}

void ViewerWindow::sayRegionKeepsNothing() {
    ui->statusBar->showMessage(
        QStringLiteral("The region keeps no point of this frame: nothing is drawn, picked or saved"),
        kFailureMessageMs);
}

void ViewerWindow::closeEvent(QCloseEvent *event) {
    qCDebug(viewerLog).noquote() << QStringLiteral("Viewer instance ") + QString::number(instanceId) +
                                        QStringLiteral(" closing...\n");
    emit viewerWindowDidClose(instanceId);
    saveWindowLayout(*this);
    m_views->leaveScan();
    // File Info is a window of its own: left open, it would keep the program running.
    fileInfoTable->close();
    QMainWindow::closeEvent(event);
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent *event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1) {
        event->ignore();
        return;
    }
    const QString text = urls.constFirst().toString();
    qCDebug(viewerLog).noquote() << "User drag entered with:" << text;
    if (isScanFileEnding(scanFileEnding(text)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ViewerWindow::dropEvent(QDropEvent *event) {
    const QMimeData *mime = event->mimeData();
    const QList<QUrl> urls = mime->urls();
    QString path;
    if (urls.size() == 1 && urls.constFirst().isLocalFile()) {
        // Decodes %20 and the like, and keeps the leading "/" of an absolute path.
        path = urls.constFirst().toLocalFile();
    } else {
        path = mime->text();
        path.remove(QStringLiteral("file:///"));
        path.remove(QStringLiteral("file:\\\\\\"));
    }
    qCDebug(viewerLog).noquote() << "User dropped file:" << path;
    openFile(path);
    event->acceptProposedAction();
}
