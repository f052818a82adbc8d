#include "app/change_controls.h"
#include "app/depth_plot_dock.h"
#include "app/keys_and_mouse_window.h"
#include "app/playback_controls.h"
#include "app/range_save.h"
#include "app/region_panel.h"
#include "app/scan_file_names.h"
#include "app/timeline_bar.h"
#include "app/viewer_command_line.h"
#include "app/viewer_window.h"
#include "app/viewer_window_form.h"
#include "app/views_menu.h"
#include "app/window_placement.h"
#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/depth_distribution.h"
#include "geometry/depth_maps.h"
#include "geometry/file_info_rows.h"
#include "geometry/measured_point.h"
#include "playback/player.h"
#include "render/scene_numbers.h"
#include "sample/sample_files.h"
#include "sequence/sequence_depths.h"
#include "sequence_frames.h"
#include "test_support.h"
#include "view/viewer_gl_widget.h"

#include <QtCharts/QChartView>
#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int kWidth = 80;
constexpr int kHeight = 64;

bool hasKeyboardFocus(QWidget *widget) {
    return QTest::qWaitFor([widget] { return QGuiApplication::focusWindow() == widget->windowHandle(); });
}

// A window on its own store, shown and active like the one main() makes.
struct Viewer {
    ViewerWindow window;
    ViewerWindowForm &ui = window.form();
    // While the last dialog was up: shows(), the name, folder and types it offered.
    QString atDialog, offered, folder;
    QStringList filters;

    Viewer() {
        window.show();
        placeOnPrimaryScreen(window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    ViewerGLWidget &view() { return window.view(); }
    // The frame on screen; an empty one before the first file.
    const ScanFrameStore &store() const {
        static const ScanFrameStore none{ScanFrameStore::NoFrame{}};
        return window.shownFrame() ? *window.shownFrame() : none;
    }
    // The index of the sequence frame shown last.
    int counter() { return window.player().frameShown(); }
    QString status() const { return window.statusBar()->currentMessage(); }
    QString label(const char *name) const { return window.findChild<QLabel *>(QLatin1String(name))->text(); }
    // The title, then a letter each for Snapshot, Save, Play enabled and checked, File Info, playing.
    QString shows() {
        const bool on[] = {ui.actionSaveScreenshot->isEnabled(), ui.actionSave3DFile->isEnabled(),
                           ui.actionReplay->isEnabled(),         ui.actionReplay->isChecked(),
                           ui.actionViewFileInfo->isEnabled(),   view().isPlaying()};
        QString s = window.windowTitle() + QLatin1Char(' ');
        for (int i = 0; i < 6; ++i)
            s += on[i] ? QLatin1Char("SsPpIR"[i]) : QLatin1Char('-');
        return s;
    }
    // Types `name` (with the file type `filter`) in the next file dialog, key by key as a user does,
    // so the keys must reach the dialog, not the main window's shortcuts; an empty name cancels. The flag
    // turns true once the dialog was answered.
    std::shared_ptr<bool> willAnswer(const QString &name, const QString &filter = QString()) {
        auto answered = std::make_shared<bool>(false);
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [=] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            atDialog = shows();
            filters = dialog->nameFilters();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            offered = edit->text();
            folder = dialog->directory().absolutePath();
            dialog->selectNameFilter(filter); // no such type: no change
            edit->clear();
            hasKeyboardFocus(dialog); // as a user waits for the dialog before typing
            for (const QChar c : name)
                QTest::keyClick(dialog->windowHandle(), c.toLatin1());
            *answered = edit->text() == name; // else the keys went astray: no answer
            *answered && !name.isEmpty() ? static_cast<QDialog *>(dialog)->accept() : dialog->reject();
        });
        timer->start(20);
        return answered;
    }
    bool answer(QAction *action, const QString &name, const QString &filter = QString()) {
        const auto answered = willAnswer(name, filter);
        action->trigger();
        return *answered;
    }
};

bool sequenceAdvances(Viewer &v) {
    const int before = v.counter();
    return QTest::qWaitFor([&] { return v.counter() != before; }, 2000);
}

// What File Info lists, row by row as fileInfoRows gives them.
QVector<QPair<QString, QString>> listed(const QTableWidget &table) {
    QVector<QPair<QString, QString>> rows;
    for (int r = 0; r < table.rowCount(); ++r)
        rows.push_back({table.item(r, 0)->text(), table.item(r, 1)->text()});
    return rows;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString pt, xyzm, ptv, ptv2, twoFps;

    QString path(const QString &name) const { return dir.filePath(name); }

    // Does what a user does ("open NAME", "play", "save NAME") and tells what the window shows then:
    // shows() and File Info's title.
    QString does(Viewer &v, const QString &step) {
        const QString name = step.section(' ', 1);
        v.window.statusBar()->clearMessage();
        if (step.startsWith("open "))
            v.window.openFile(path(name));
        else if (step.startsWith("save ") && !v.answer(v.ui.actionSave3DFile, path(name)))
            return QStringLiteral("no dialog");
        else if (step == "play")
            v.ui.actionReplay->trigger();
        return v.shows() + ' ' + v.window.fileInformationWindow().windowTitle();
    }

    // A step that fails names the file with a reason and changes nothing: a playing sequence plays on,
    // and a still frame keeps every byte.
    void refuses(Viewer &v, const QString &step, const QString &name) {
        const QString before = v.shows() + ' ' + v.window.fileInformationWindow().windowTitle();
        const QByteArray frame = storeSnapshot(v.store());
        QCOMPARE(does(v, step), before);
        const QString said = "Could not open " + name + ": ";
        QVERIFY2(v.status().startsWith(said) && v.status().size() > said.size(), qPrintable(v.status()));
        QVERIFY(v.view().isPlaying() ? sequenceAdvances(v) : storeSnapshot(v.store()) == frame);
    }

  private slots:
    void initTestCase() {
        // What the windows remember goes to folders of the test's own, never the user's settings or data.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
        Q_INIT_RESOURCE(icons);
        Q_INIT_RESOURCE(style);
        const QString sheet = QString::fromUtf8(readAll(QStringLiteral(":qdarkstyle/style.qss")));
        qApp->setStyleSheet(sheet);
        // Every image the sheet names is in the collection and decodes.
        int referenced = 0;
        for (auto it = QRegularExpression(R"(url\((:/qss_icons/rc/[^)]+)\))").globalMatch(sheet);
             it.hasNext(); ++referenced)
            QVERIFY(!QImage(it.next().captured(1)).isNull());
        QVERIFY(referenced >= 30 && dir.isValid());
        QString error;
        pt = path("scan.pt"), xyzm = path("scan.xyzm"), ptv = path("walk.ptv"), ptv2 = path("run.ptv");
        twoFps = path("two-fps.ptv"); // two frames a second leave time for a key between ticks
        QVERIFY2(writeSampleFile(pt, kWidth, kHeight, &error) &&
                     writeSampleFile(xyzm, kWidth, kHeight, &error) &&
                     writeSampleSequence(ptv, kWidth, kHeight, 6, 30.0f, &error) &&
                     writeSampleSequence(ptv2, kWidth, kHeight, 4, 30.0f, &error) &&
                     writeSampleSequence(twoFps, kWidth, kHeight, 6, 2.0f, &error),
                 qPrintable(error));
    }

    // Every test starts without the sessions of the tests before.
    void init() { QVERIFY(QDir(dir.filePath("data")).removeRecursively()); }

    // The keys reach their actions, each does what its text says; dock and view stay in step.
    void actionsDoWhatTheySay() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        QWindow *window = v.window.windowHandle();
        // The sheet styles the window: charcoal panels.
        const QImage dock = ui.dockWidgetContents->grab().toImage();
        QCOMPARE(QColor(dock.pixel(dock.width() - 3, dock.height() - 3)), QColor(0x31, 0x36, 0x3b));
        QVERIFY(v.label("versionLabel").endsWith(QLatin1String(PELNOR_VERSION)));
        for (QAction *action : ui.mainToolBar->actions()) // icons through the SVG image plug-in
            QVERIFY2(action->text().isEmpty() || !action->icon().pixmap(24, 24).isNull(),
                     qPrintable(action->text()));
        // File Info sits at the right end of the tool bar, also once the window is wider.
        v.window.resize(1600, 700);
        QWidget *info = ui.mainToolBar->widgetForAction(ui.actionViewFileInfo);
        QTRY_VERIFY(ui.mainToolBar->width() - (info->geometry().right() + 1) < 16);

        // One exclusive group, never empty (triggering the checked one keeps it); each sets drag and cursor.
        const QList<QAction *> group = {ui.actionSetControlMethodRotate, ui.actionSetControlMethodTranslate,
                                        ui.actionSetControlMethodZoom};
        const Qt::CursorShape cursors[] = {Qt::OpenHandCursor, Qt::SizeAllCursor, Qt::SizeVerCursor};
        for (int method : {1, 2, 0}) { // Pan, Zoom and Rotate by their keys 2, 3 and 1
            QTest::keyClick(window, Qt::Key(Qt::Key_1 + method));
            group.at(method)->trigger();
            QString checked;
            for (QAction *action : group)
                checked += action->isChecked() ? 'x' : '-';
            QCOMPARE(checked, QString("---").replace(method, 1, 'x'));
            QVERIFY(v.window.currentControlMethod() == method &&
                    v.view().cursor().shape() == cursors[method]);
        }
        v.view().rotateModel(30.0f, 40.0f, 0.0f);
        QTest::keyClick(window, Qt::Key_4);
        QCOMPARE(v.view().viewState().rotation, QVector3D());
        QTest::keyClick(window, Qt::Key_5);
        QVERIFY(ui.actionMirrorModel->isChecked() && v.view().isAnimatingMirror());
        QCOMPARE(v.status(), "Mirroring geometry...");
        QTest::keyClick(window, Qt::Key_5);
        QCOMPARE(v.status(), "Un-mirroring geometry...");

        // The sliders were set before they were wired: the view learnt their values all the same.
        QCOMPARE(v.view().viewState().lightIntensity, ui.lightIntensityHorizontalSlider->value() / 10.0f);
        const QVector3D range = v.view().viewState().colorZrange;
        v.view().changeMinZ(ui.sliderMinZ->value());
        v.view().changeMaxZ(ui.sliderMaxZ->value());
        QCOMPARE(v.view().viewState().colorZrange, range);
        // Ctrl+O's dialog offers the scan files and opens the one typed, and the letters typed there never
        // reach the view's style keys; a cancelled open changes nothing.
        const auto answered = v.willAnswer(xyzm);
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(*answered);
        QVERIFY(v.filters == QStringList("3D Files (*.xyzm *.pt *.ptv)") && v.store().filePath == xyzm);
        QVERIFY(v.view().viewState().meshType == 0 && v.view().viewState().materialType == 0);
        QVERIFY(v.answer(ui.actionOpen3DFile, QString()) && v.store().filePath == xyzm);
        emit v.view().meshTypeWasChanged(2); // the view's style keys show in the dock
        QVERIFY(ui.meshTypeComboBox->currentIndex() == 2 && v.view().viewState().meshType == 2);
    }

    // What is open decides the title, the actions and File Info: frames, playing and paused
    // sequences, a Save or a frame opened during playback, and files that cannot be opened.
    void titleActionsAndInfoFollowWhatIsOpen() {
        Viewer v;
        QTableWidget &table = v.window.fileInformationWindow();
        const QByteArray bytes = readAll(pt);
        writeAll(path("short.pt"), bytes.left(bytes.size() - 10));
        writeAll(path("version.pt"), QByteArray(bytes).replace(0, 1, "\7"));
        writeAll(path("empty.xyzm"), "");
        writeAll(path("notes.txt"), "not a scan");
        writeAll(path("broken.ptv"), QByteArray(100, '\1'));
        const QStringList broken = {"missing.pt", "short.pt",  "version.pt",
                                    "empty.xyzm", "notes.txt", "broken.ptv"};
        // Before any frame there is nothing to save, also after a failed first open.
        QCOMPARE(does(v, "open missing.pt"), "Pelnor Viewer ----I- ");
        v.ui.actionSetControlMethodZoom->trigger();
        QCOMPARE(does(v, "open scan.pt"), "scan.pt | Pelnor Viewer Ss--I- About scan.pt");
        QVERIFY(v.store().filePath == pt && v.store().frameKind == PtFrame &&
                listed(table) == fileInfoRows(v.store()));
        QVERIFY(v.ui.actionSetControlMethodRotate->isChecked()); // opening selects Rotate
        // File Info, a window of its own, has the keys while active, not the main window's shortcuts.
        v.ui.actionViewFileInfo->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&table) && hasKeyboardFocus(&table));
        for (const QString &name : broken)
            refuses(v, "open " + name, name);
        // Long enough to read: still there well after an ordinary message would have gone.
        QTest::qWait(3000);
        QVERIFY(v.status().startsWith(QStringLiteral("Could not open broken.ptv: ")));

        // A playing sequence checks Play and leaves the facts alone, also past files it cannot open.
        QCOMPARE(does(v, "open scan.xyzm"), "scan.xyzm | Pelnor Viewer Ss--I- About scan.xyzm");
        QCOMPARE(does(v, "open walk.ptv"), "walk.ptv | 3D Video Viewer --PpIR About scan.xyzm");
        for (const QString &name : broken)
            refuses(v, "open " + name, name);
        QCOMPARE(does(v, "play"), "walk.ptv | 3D Video Viewer SsP-I- About walk.ptv");
        const int shown = v.counter();
        QTest::qWait(150);
        QCOMPARE(v.counter(), shown);
        QCOMPARE(does(v, "play"), "walk.ptv | 3D Video Viewer --PpIR About walk.ptv");
        QCOMPARE(does(v, "open run.ptv"), "run.ptv | 3D Video Viewer --PpIR About walk.ptv");
        QVERIFY(sequenceAdvances(v));
        // Save stops the playback and unchecks Play before the dialog shows.
        does(v, "save from-sequence.pt");
        QVERIFY(v.atDialog == "run.ptv | 3D Video Viewer SsP-I-" && QFile::exists(path("from-sequence.pt")));
        // A single frame opened during playback stops it; Play is off and disabled.
        does(v, "play");
        QCOMPARE(does(v, "open scan.xyzm"), "scan.xyzm | Pelnor Viewer Ss--I- About scan.xyzm");

        // A sequence opens on a real frame of its own (too slow to tick here, of another size than the
        // frame before); paused at once, Save writes that frame.
        QString error;
        QVERIFY2(writeSampleSequence(path("slow.ptv"), 64, 48, 4, 0.05f, &error), qPrintable(error));
        does(v, "open slow.ptv");
        QVERIFY(v.counter() == 2 && v.view().mesh().vertexData.size() == size_t(10 * 64 * 48));
        const QImage image = v.view().grabFramebuffer();
        QVERIFY(image.pixel(image.width() / 2, image.height() / 2) != image.pixel(1, 1));
        does(v, "play");
        does(v, "save paused.pt");
        ScanFrameStore reread;
        QVERIFY(loadPtFile(reread, path("paused.pt"), &error) && reread.width == 64);
        QVERIFY(std::count(reread.mask.get(), reread.mask.get() + reread.pixelCount, 0) <
                reread.pixelCount / 2);
        // A paused sequence whose file has gone cannot resume: Play stays off and says why.
        QVERIFY(QFile::remove(path("slow.ptv")));
        refuses(v, "play", "slow.ptv");
        // Ctrl+Q closes the main window, and with it File Info, which would otherwise keep the program
        // running.
        QTest::keyClick(v.window.windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!v.window.isVisible());
        QVERIFY(!table.isVisible());
    }

    // The name's ending picks the format, a name typed without one takes the ending of the type
    // chosen, and a bare name lands beside the scan. Failures are said; a cancel says nothing.
    // The same holds for screenshots.
    void savingThroughDialogs() {
        Viewer v;
        const QDir folder(dir.path());
        v.window.openFile(xyzm);
        QVERIFY(v.answer(v.ui.actionSave3DFile, QString()));
        QCOMPARE(v.filters, (QStringList{"XYZM Files (*.xyzm)", "PLY Files (*.ply)"})); // no phase to save
        // Ctrl+S saves, and S, the shaded style, stays as it was.
        v.ui.meshTypeComboBox->setCurrentIndex(1);
        const auto answered = v.willAnswer("copy.xyzm");
        QTest::keyClick(v.window.windowHandle(), Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(*answered);
        QVERIFY(v.status() == "Saved copy.xyzm" && v.view().viewState().meshType == 1);
        v.window.openFile(pt);
        const auto drawnVertices = v.view().mesh().vertexData;
        const QVector3D centre = v.store().centerOfMass;
        const struct {
            const char *typed, *filter, *saved, *failure;
        } names[] = {{"copy.pt", "", "copy.pt", ""},
                     {"triangulated.xyzm", "", "triangulated.xyzm", ""},
                     {"bare", "PT Files (*.pt)", "bare.pt", ""},
                     {"bare", "XYZM Files (*.xyzm)", "bare.xyzm", ""},
                     {"bare", "PLY Files (*.ply)", "bare.ply", ""},
                     {"", "", "", ""},
                     {"copy.txt", "", "", "Could not save copy.txt: "},
                     {"no-such-folder/copy.pt", "", "", "Could not save copy.pt: "}};
        for (const auto &n : names) {
            const QStringList before = folder.entryList(QDir::Files);
            v.window.statusBar()->clearMessage();
            QVERIFY(v.answer(v.ui.actionSave3DFile, n.typed, n.filter));
            QStringList after = folder.entryList(QDir::Files);
            if (*n.saved)
                QVERIFY2(after.removeOne(n.saved), n.saved);
            QCOMPARE(after, before);
            QVERIFY2(*n.failure ? v.status().startsWith(QLatin1String(n.failure))
                     : *n.saved ? v.status() == QLatin1String("Saved ") + n.saved
                                : v.status().isEmpty(),
                     qPrintable(v.status()));
        }
        // Each ending got its own writer: coordinates start with their header text, captures do not.
        for (const QString name : {"copy.xyzm", "triangulated.xyzm", "bare.xyzm", "copy.pt", "bare.pt"})
            QVERIFY2(readAll(path(name)).startsWith("image size") == name.endsWith(".xyzm"),
                     qPrintable(name));

        // Saving a PLY builds a coordinate mesh aside: the mesh and framing the view draws stay, and the
        // file is what the writer gives for the capture triangulated on its own.
        QVERIFY(v.view().mesh().vertexData == drawnVertices && v.store().centerOfMass == centre);
        ScanFrameStore reread;
        QString error;
        QVERIFY(loadPtFile(reread, pt, &error));
        reread.computeCoordinatesFromPhase();
        FrameMesh mesh;
        buildCoordinateMesh(reread, MeshSettings(), mesh);
        QVERIFY(writePlyFile(path("reference.ply"), reread, mesh, &error));
        QCOMPARE(readAll(path("bare.ply")), readAll(path("reference.ply")));

        // F10 offers a dated name; the picture shows the surface, and its suffix picks the format.
        QVERIFY(QTest::qWaitForWindowActive(&v.window)); // the window took the keys back
        const auto shot = v.willAnswer(path("shot.png"));
        QTest::keyClick(v.window.windowHandle(), Qt::Key_F10);
        QTRY_VERIFY(*shot);
        QCOMPARE(v.offered,
                 QStringLiteral("Screenshot_%1_scan.png").arg(QDate::currentDate().toString("yyyy-MM-dd")));
        QCOMPARE(v.status(), "Screenshot successfully saved.");
        // The picture is what the view shows, and that is the surface, not only the background.
        const QImage image(path("shot.png"), "png");
        QVERIFY(image == v.view().grabFramebuffer().convertToFormat(image.format()) &&
                image.pixel(image.width() / 2, image.height() / 2) != image.pixel(1, 1));
        QVERIFY(v.answer(v.ui.actionSaveScreenshot, path("shot.jpg")));
        QCOMPARE(QImageReader(path("shot.jpg")).format(), QByteArray("jpeg"));
        QVERIFY(v.answer(v.ui.actionSaveScreenshot, path("bare-shot")));
        QCOMPARE(QImageReader(path("bare-shot.png")).format() + ' ' + v.status(),
                 QString("png Screenshot successfully saved."));
        QVERIFY(v.answer(v.ui.actionSaveScreenshot, path("no-such-folder/shot.png")));
        QCOMPARE(v.status(), "Error saving screenshot.");
    }

    // Picks stand through style and colour changes, follow their pixel through a playing
    // sequence and go with a new file; the depth sliders show the legend's ends and rest while the
    // colouring does not use them.
    void inspectingTheSurface() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        v.window.openFile(pt);
        QVERIFY(!v.view().legendVisible() && !ui.sliderMinZ->isEnabled() && !ui.labelMinZDepth->isEnabled());
        ui.materialTypeComboBox->setCurrentIndex(Jet);
        QVERIFY(v.view().legendVisible() && ui.sliderMinZ->isEnabled() && ui.labelMaxZDepth->isEnabled());
        ui.sliderMinZ->setValue(20);
        ui.sliderMaxZ->setValue(70);
        // The sliders run from the box's far face (0) to its near face (100).
        const float top = v.store().boundingBoxMax.z(), e = top - v.store().boundingBoxMin.z();
        const float c = v.store().centerOfMass.z(), far = top - 0.2f * e, nearer = top - 0.7f * e;
        const ColorLegend &legend = v.view().colorLegend();
        QVERIFY(std::fabs(legend.topDepth() - far) < 1e-3f * c &&
                std::fabs(legend.bottomDepth() - nearer) < 1e-3f * c);
        QVERIFY(std::fabs(ui.labelMinZDepth->text().toDouble() - far) < 0.01 * e &&
                std::fabs(ui.labelMaxZDepth->text().toDouble() - nearer) < 0.01 * e);

        const QPoint centre(v.view().width() / 2, v.view().height() / 2);
        v.view().grabFramebuffer();
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, centre);
        const QString said = ui.pickStatusLabel->text();
        QVERIFY2(v.view().picker().count() == 1 && said.contains(" units at pixel ("), qPrintable(said));
        ui.meshTypeComboBox->setCurrentIndex(Wireframe);
        ui.materialTypeComboBox->setCurrentIndex(Texture);
        QVERIFY(!v.view().legendVisible() && !ui.sliderMaxZ->isEnabled());
        QVERIFY(v.view().picker().count() == 1 && ui.pickStatusLabel->text() == said);
        ui.meshTypeComboBox->setCurrentIndex(Shaded);

        v.window.openFile(ptv);
        QVERIFY(v.view().picker().count() == 0 && ui.pickStatusLabel->text().isEmpty());
        QVERIFY(sequenceAdvances(v));
        v.view().grabFramebuffer();
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, centre);
        QCOMPARE(v.view().picker().count(), 1);
        const SurfacePicker::Pick first = v.view().picker().pick(0);
        QVERIFY(first.point);
        QTRY_VERIFY(v.view().picker().pick(0).point != first.point);
        const SurfacePicker::Pick now = v.view().picker().pick(0);
        QVERIFY(now.pixel == first.pixel &&
                now.point == measuredPoint(v.store(), now.pixel.x(), now.pixel.y()));
        v.window.openFile(xyzm);
        QCOMPARE(v.view().picker().count(), 0);

        // A capture at another depth keeps the first one's colours, flat where it lies nearer than they
        // reach, until F fits them to the bulk of the depths it measures: the legend, the depths shown
        // and the scale named follow, and a slider moved from where it stands then changes the range by
        // its step and fixes it.
        QString error;
        QVERIFY(writeSampleFile(path("aside.pt"), kWidth, kHeight, &error, VirtualScanner::OffCentre));
        v.window.openFile(path("aside.pt"));
        DepthDistribution depths;
        depths.add(v.store());
        float nearest = 0.0f, farthest = 0.0f;
        QVERIFY(depths.fittedRange(&nearest, &farthest) && legend.bottomDepth() > nearest);
        QTest::keyClick(v.window.windowHandle(), Qt::Key_F);
        QVERIFY(legend.bottomDepth() == nearest && legend.topDepth() == farthest);
        QCOMPARE(ui.labelMinZDepth->text(), sceneNumber(farthest, v.view().sceneDecimals()));
        QCOMPARE(ui.depthScaleComboBox->currentText(), "this frame");
        ui.sliderMinZ->setValue(ui.sliderMinZ->value() + 1);
        QVERIFY(std::fabs(legend.topDepth() - farthest) < 0.03f * (farthest - nearest));
        QCOMPARE(ui.depthScaleComboBox->currentText(), "fixed");
    }

    // The Region dock cuts what the window does alike: the picture, picks (a click on a cut-away part
    // picks what lies behind it), File Info, which says "in region", and Save; a region that keeps
    // nothing leaves the view empty and says so; Clear, or another file, brings the whole frame back.
    void regionCutsViewPicksFactsAndSaves() {
        Viewer v;
        v.window.openFile(pt);
        // Turned aside, the eye sees the backdrop behind the ball at the left, which the camera saw
        // beside it; the ball's front is the nearest point left of the big shape.
        v.view().rotateModel(0, -40, 0);
        const QImage whole = v.view().grabFramebuffer();
        QVector3D front(0, 0, 1e9f);
        for (int i = 0; i < v.store().pixelCount; ++i)
            if (const auto p = measuredPoint(v.store(), i % kWidth, i / kWidth);
                p && p->x() < -120.0f && p->z() < front.z())
                front = *p;
        const QPoint ball =
            SurfacePicker::screenPoint(front, v.view().matrices(), v.view().viewState(), v.view().size())
                ->toPoint();
        const auto rows = [&] { return listed(v.window.fileInformationWindow()); };
        const auto spinBox = [&](const char *name) { return v.window.findChild<QDoubleSpinBox *>(name); };

        // Fit to frame keeps every point; the far part, behind the point picked, keeps what lies behind.
        v.window.findChild<QPushButton *>("regionFitButton")->click();
        const SurfaceFacts all = v.store().measureSurface();
        QVERIFY(rows().at(5) ==
                qMakePair(QString("Valid coordinates in region:"), QString::number(all.validCount)));
        const float nearZ = front.z() + 30.0f;
        spinBox("regionSizeZ")->setValue(double(all.max.z() - nearZ + 1.0f));
        spinBox("regionCentreZ")->setValue(double(all.max.z() + 1.0f + nearZ) / 2.0);
        const Region region = v.window.regionPanel().region();
        QVERIFY(region.isSet() && v.view().viewState().region == region &&
                rows() == fileInfoRows(v.store(), region) && v.view().grabFramebuffer() != whole);
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, ball);
        const SurfacePicker::Pick behind = v.view().picker().pick(0);
        QVERIFY2(behind.point && behind.point->z() > nearZ && RegionTest(region).keeps(*behind.point),
                 qPrintable(v.ui.pickStatusLabel->text()));
        QVERIFY(v.answer(v.ui.actionSave3DFile, path("far.ply")));
        const QByteArray vertices =
            "\nelement vertex " + QByteArray::number(qlonglong(v.store().measureSurface(region).validCount));
        QVERIFY(readAll(path("far.ply")).contains(vertices + "\n"));

        // Keeping the outside of the whole frame's box keeps nothing.
        v.window.findChild<QPushButton *>("regionFitButton")->click();
        v.window.findChild<QComboBox *>("regionKeepComboBox")->setCurrentIndex(1);
        QVERIFY(v.status().contains("The region keeps no point of this frame"));
        v.view().clearPicks();
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, ball);
        QVERIFY(v.status().startsWith("Nothing picked") && rows().at(5).second == "0");
        QVERIFY(v.answer(v.ui.actionSave3DFile, path("nothing.xyzm")));
        QVERIFY2(v.status() ==
                     "Saved nothing.xyzm: the region keeps no point of this frame, so the file holds none",
                 qPrintable(v.status()));
        v.window.findChild<QPushButton *>("regionClearButton")->click();
        QVERIFY(!v.view().viewState().region.isSet() && rows() == fileInfoRows(v.store()) &&
                v.view().grabFramebuffer() == whole);
        v.window.regionPanel().setRegion(region);
        v.window.openFile(xyzm);
        QVERIFY(!v.window.regionPanel().region().isSet() && !v.view().viewState().region.isSet());
    }

    // The keys and the timeline step, seek and play a sequence: each shows exactly the frame it names,
    // never past either end; the slider and the readout follow, File Info tells a paused frame's facts,
    // and playing goes on from a frame sought.
    void sequenceKeysAndTimeline() {
        Viewer v;
        auto *slider = v.window.findChild<QSlider *>(QStringLiteral("timelineSlider"));
        QLabel *shortLabel = v.window.findChild<QLabel *>(QStringLiteral("shortLabel"));
        v.window.openFile(pt);
        QVERIFY(!slider->isVisible() && !v.ui.actionStepForward->isEnabled() &&
                !v.ui.actionLastFrame->isEnabled());
        v.window.openFile(twoFps);
        QVERIFY(slider->isVisible() && slider->minimum() == 0 && slider->maximum() == 5 &&
                !shortLabel->isVisible());
        QSignalSpy shownFrames(&v.window.player(), &Player::frameReady);
        const int middle = slider->height() / 2;
        // What the user does (a key, held for a count of presses; a seek or a click on the timeline;
        // waiting for the next tick), then the frame shown and whether it plays.
        const struct {
            const char *does;
            int frame;
            bool playing;
        } steps[] = {{"Right", 3, false}, // steps forward and pauses
                     {"Left", 2, false},  {"seek 0", 0, false},     {"Left", 0, false}, // stops at frame 0
                     {"End", 5, false},                                                 // keeps a pause
                     {"Right", 5, false}, {"seek 0", 0, false},     {"Right 3", 3, false},
                     {"Space", 4, true}, // resumes with the next frame at once
                     {"seek 2", 2, true}, {"wait", 3, true},        {"Space", 3, false},
                     {"Space", 4, true},  {"Home", 0, true}, // keeps playing
                     {"wait", 1, true},   {"Left 2", 0, false},     {"click end", 5, false},
                     {"Space", 1, true},  {"click start", 0, true}, {"wait", 1, true}};
        for (const auto &step : steps) {
            const QStringList words = QString(step.does).split(' ');
            if (words[0] == "seek")
                slider->setValue(words[1].toInt());
            else if (words[0] == "click")
                QTest::mouseClick(slider, Qt::LeftButton, {},
                                  QPoint(words[1] == "end" ? slider->width() - 2 : 1, middle));
            else if (words[0] == "wait")
                QVERIFY(shownFrames.wait(2000));
            else {
                const int key = QKeySequence(words[0])[0];
                for (int press = 0; press < words.value(1, "1").toInt(); ++press)
                    QTest::simulateEvent(v.window.windowHandle(), true, key, {}, QString(), press > 0);
                QTest::keyRelease(v.window.windowHandle(), Qt::Key(key));
            }
            const int shown = v.counter();
            QVERIFY2(shown == step.frame && v.view().isPlaying() == step.playing, step.does);
            QCOMPARE(v.shows().right(6), QLatin1String(step.playing ? "--PpIR" : "SsP-I-"));
            QVERIFY(shownPixels(v.store()) == decodedPtvFrame(twoFps, shown));
            QCOMPARE(QString("%1 %2").arg(slider->value()).arg(v.label("frameLabel")),
                     QString("%1 Frame %1 / 6").arg(shown));
            const auto rows = listed(v.window.fileInformationWindow());
            // The noise row follows once the frames around it are read (changeAndPins).
            QVERIFY(step.playing || (rows.mid(0, 10) == fileInfoRows(v.store()) && rows.size() <= 12 &&
                                     rows.value(10).second == QString("%1 / 6").arg(shown)));
        }
        // Once a second the readout tells the pace shown against the file's rate; paused, the rate.
        QTRY_VERIFY_WITH_TIMEOUT(
            QRegularExpression(R"(^\d+\.\d fps shown / 2 fps$)").match(v.label("paceLabel")).hasMatch(),
            3000);
        // The readouts beside the slider change their numbers, never the slider's length.
        QCoreApplication::sendPostedEvents();
        const int length = slider->width();
        v.ui.actionReplay->trigger();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(slider->width(), length);
        QCOMPARE(v.label("paceLabel") + ' ' + v.label("timeLabel"),
                 QString("2 fps %1 s / 3.00 s").arg(v.counter() / 2.0, 0, 'f', 3));

        // Dragging shows each frame passed.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(1, middle));
        QCOMPARE(v.counter(), 0);
        QMouseEvent move(QEvent::MouseMove, QPoint(slider->width() / 2, middle), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QVERIFY(slider->value() > 0 && slider->value() < 5 && v.counter() == slider->value());
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, middle));
        QVERIFY(!v.view().isPlaying());

        // A file cut short says so by the timeline while it is open, leaving the slider its length:
        // four and a half frames of five bytes a pixel after the header.
        const QString cut = path("cut.ptv");
        QVERIFY(QFile::copy(ptv, cut) && QFile::resize(cut, 457 + 9 * 5 * kWidth * kHeight / 2));
        v.window.openFile(ptv);
        QCoreApplication::sendPostedEvents();
        const int whole = slider->width();
        v.window.openFile(cut);
        QCoreApplication::sendPostedEvents();
        QVERIFY(slider->maximum() == 3 && shortLabel->isVisible() && slider->width() == whole);
        QCOMPARE(shortLabel->text(), "4 of 6 frames complete");

        // Cut shorter while playing, it pauses on the last frame shown, said once; counter, timeline,
        // File Info and picture agree. A paused seek and a resume follow the file as it is then.
        auto agree = [&](int frames) {
            const int shown = v.counter();
            return slider->maximum() == frames - 1 && slider->value() == shown &&
                   listed(v.window.fileInformationWindow()).value(10).second ==
                       QString("%1 / %2").arg(shown).arg(frames) &&
                   shownPixels(v.store()) == decodedPtvFrame(ptv, shown);
        };
        QSignalSpy said(v.window.statusBar(), &QStatusBar::messageChanged);
        QVERIFY(QFile::resize(cut, 457 + 2 * 5 * kWidth * kHeight));
        QTRY_VERIFY(!v.view().isPlaying());
        QTest::qWait(100);
        const auto messages = std::count_if(said.begin(), said.end(), [](const QList<QVariant> &message) {
            return !message.at(0).toString().isEmpty();
        });
        QVERIFY2(messages == 1 && v.status().contains("; the file now holds frames 0 to 1"),
                 qPrintable(v.status()));
        QVERIFY(v.shows().endsWith("SsP-I-") && agree(4));
        QByteArray moved = readAll(ptv); // six frames, the camera elsewhere
        const double camera =
            readField<double>(reinterpret_cast<const unsigned char *>(moved.constData()), 41) + 1;
        writeAll(cut, moved.replace(41, 8, QByteArray(reinterpret_cast<const char *>(&camera), 8)));
        v.ui.actionStepBack->trigger();
        QVERIFY(agree(6) && v.store().cameraProjection[0] == camera);
        QVERIFY(QFile::resize(cut, 457 + 3 * 5 * kWidth * kHeight));
        v.ui.actionReplay->trigger();
        QVERIFY(v.view().isPlaying() && slider->maximum() == 2 && slider->value() == v.counter());
    }

    // From a wide window down to 800 x 600 the view and the timeline show in full, one above the other:
    // a slider of a usable length, the speed control and the readout whole, under the slider where it
    // does not fit beside it.
    void timelineInNarrowWindows() {
        Viewer v;
        v.window.openFile(ptv);
        QWidget *bar = v.ui.timelineBar;
        auto *slider = v.window.findChild<QSlider *>(QStringLiteral("timelineSlider"));
        auto *speedBox = v.window.findChild<QComboBox *>(QStringLiteral("speedBox"));
        QList<QWidget *> parts = {slider, speedBox};
        for (const char *name : {"frameLabel", "timeLabel", "paceLabel"})
            parts << v.window.findChild<QLabel *>(QLatin1String(name));
        QString rows;
        for (int width : {1800, 1200, 1000, 800}) {
            v.window.resize(width, 600);
            QTRY_COMPARE(v.window.size(), QSize(width, 600));
            QCoreApplication::sendPostedEvents();
            QVERIFY(!v.view().geometry().intersects(bar->geometry()) &&
                    v.ui.centralWidget->rect().contains(bar->geometry()));
            QVERIFY2(slider->width() >= TimelineBar::kSliderMinimum, qPrintable(QString::number(width)));
            for (QWidget *part : parts) {
                QVERIFY2(bar->rect().contains(part->geometry()) && part->width() >= part->sizeHint().width(),
                         qPrintable(part->objectName()));
                for (QWidget *other : parts)
                    QVERIFY(part == other || !part->geometry().intersects(other->geometry()));
            }
            rows += parts.last()->y() > slider->y() ? '2' : '1';
        }
        // The readout gives way first, the slider keeps its length.
        QVERIFY2(QRegularExpression("^1+2+$").match(rows).hasMatch(), qPrintable(rows));
    }

    // Speed, loop range and steps of a second over the 2 fps sequence. The speed keys and control
    // set the interval and the readout; playing loops over every frame of the range in order, never
    // outside it, through pauses and seeks; a second is two frames, never past either end; paused, the
    // time has milliseconds. Save writes the range numbered, each frame as it saves one; a new file plays
    // whole.
    void studyingMotion() {
        Viewer v;
        auto *slider = v.window.findChild<TimelineSlider *>(QStringLiteral("timelineSlider"));
        auto *speedBox = v.window.findChild<QComboBox *>(QStringLiteral("speedBox"));
        auto press = [&](const QString &keys) {
            const int key = QKeySequence(keys)[0];
            QTest::keyClick(v.window.windowHandle(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        };
        v.window.openFile(twoFps);
        const struct {
            const char *keys, *shows; // the speed control, the interval and the readout
        } speeds[] = {{"[ [", "1/4× 2000 0.5 fps (1/4×)"},
                      {"[ [ [", "1/8× 4000 0.25 fps (1/8×)"}, // no slower
                      {"] ] ] ] ] ]", "4× 125 8 fps (4×)"},
                      {"Backspace", "1× 500 2 fps"}};
        for (const auto &row : speeds) {
            for (const QString &key : QString(row.keys).split(' '))
                press(key);
            QCOMPARE(speedBox->currentText() + ' ' + QString::number(v.window.player().interval()) + ' ' +
                         v.label("paceLabel"),
                     QString(row.shows));
        }
        emit speedBox->activated(1);
        QVERIFY(v.window.player().interval() == 2000 && v.label("paceLabel") == "0.5 fps (1/4×)");
        press("Backspace");

        QSignalSpy shownFrames(&v.window.player(), &Player::frameReady);
        const struct {
            const char *does; // keys, "seek K" or "wait" for the next tick
            int frame;
            bool playing;
            const char *loop; // the range the timeline marks
        } steps[] = {
            {"Home", 0, true, ""},         {"Shift+Right", 2, false, ""}, // a second, pausing
            {"Shift+Right", 4, false, ""}, {"Shift+Right", 5, false, ""}, // not past the end
            {"Shift+Left", 3, false, ""},  {"Shift+Left", 1, false, ""},  {"Shift+Left", 0, false, ""},
            {"seek 1", 1, false, ""},      {"I", 1, false, "1 to 5"},     {"seek 3", 3, false, "1 to 5"},
            {"O", 3, false, "1 to 3"},     {"Space", 1, true, "1 to 3"}, // past the end: the start
            {"wait", 2, true, "1 to 3"},   {"wait", 3, true, "1 to 3"},   {"wait", 1, true, "1 to 3"},
            {"seek 5", 5, true, "1 to 3"}, {"wait", 1, true, "1 to 3"}, // back into the range
            {"Space", 1, false, "1 to 3"}, {"Space", 2, true, "1 to 3"},  {"Shift+I", 2, true, ""},
            {"seek 4", 4, true, ""},       {"wait", 5, true, ""},         {"wait", 1, true, ""}};
        for (const auto &step : steps) {
            const QString does(step.does);
            if (does.startsWith("seek"))
                slider->setValue(does.section(' ', 1).toInt());
            else if (does == "wait")
                QVERIFY(shownFrames.wait(2000));
            else
                press(does);
            const int shown = v.counter();
            QVERIFY2(shown == step.frame && v.view().isPlaying() == step.playing, step.does);
            QVERIFY(shownPixels(v.store()) == decodedPtvFrame(twoFps, shown));
            QCOMPARE(v.label("timeLabel") + slider->toolTip().remove("Loop: frames "),
                     QString("%1 s / 3.00 s").arg(shown / 2.0, 0, 'f', step.playing ? 2 : 3) + step.loop);
        }

        // The timeline marks the range under its groove.
        press("Space");
        slider->setValue(4);
        press("I");
        const QImage strip = slider->grab().toImage();
        const QColor marked(0x3d, 0xae, 0xe9);
        QVERIFY(strip.pixelColor(strip.width() * 9 / 10, strip.height() - 2) == marked &&
                strip.pixelColor(strip.width() / 10, strip.height() - 2) != marked);
        QVERIFY(QDir(dir.path()).mkpath("range"));
        const QString range = "Frames 4 to 5, numbered (*.ply *.pt *.xyzm)";
        QSignalSpy ended(v.window.findChild<PlaybackControls *>(), &PlaybackControls::rangeSaveEnded);
        const auto saveRange = [&](const QString &name) {
            ended.clear();
            return v.answer(v.ui.actionSave3DFile, path(name), range) &&
                   QTest::qWaitFor([&] { return ended.count() == 1; }, 20000);
        };
        QVERIFY(saveRange("range/walk.ply"));
        QCOMPARE(v.filters, (QStringList{"This frame: PT Files (*.pt)", "This frame: XYZM Files (*.xyzm)",
                                         "This frame: PLY Files (*.ply)", range}));
        QCOMPARE(v.status(), "Saved frames 4 to 5 as walk_0004.ply to walk_0005.ply");
        QCOMPARE(QDir(path("range")).entryList(QDir::Files), (QStringList{"walk_0004.ply", "walk_0005.ply"}));
        // A numbered range makes its folder, as the tool's numbered exports do; an unknown ending is refused.
        QVERIFY(saveRange("new/walk_%d.ply"));
        QCOMPARE(QDir(path("new")).entryList(QDir::Files), (QStringList{"walk_4.ply", "walk_5.ply"}));
        QVERIFY(saveRange("walk.txt"));
        QVERIFY2(v.status().startsWith("Could not save walk.txt: "), qPrintable(v.status()));
        slider->setValue(5);
        QVERIFY(v.answer(v.ui.actionSave3DFile, path("frame5.ply"), "This frame: PLY Files (*.ply)"));
        QCOMPARE(readAll(path("range/walk_0005.ply")), readAll(path("frame5.ply")));
        // While a range is saved the window goes on, the status bar telling how far the save is; its
        // Cancel stops the save before the next file, and the files written are whole.
        auto *progress = v.window.findChild<QProgressBar *>("rangeSaveProgress");
        auto *cancel = v.window.findChild<QPushButton *>("cancelRangeSave");
        QString whileSaving;
        const auto clickCancel = connect(
            v.window.findChild<RangeSave *>(), &RangeSave::progressed, cancel,
            [&] {
                QMetaObject::invokeMethod(
                    cancel,
                    [&] {
                        whileSaving = progress->isVisible() ? progress->text() : QString();
                        cancel->click();
                    },
                    Qt::BlockingQueuedConnection);
            },
            Qt::DirectConnection);
        QVERIFY(saveRange("cancel/walk.ply"));
        disconnect(clickCancel);
        QVERIFY(whileSaving == "Saving frames 4 to 5: 1 of 2" && !progress->isVisible());
        QCOMPARE(v.status(), "Saving frames 4 to 5 cancelled; walk_0004.ply is written");
        QCOMPARE(QDir(path("cancel")).entryList(QDir::Files), QStringList("walk_0004.ply"));
        QCOMPARE(readAll(path("cancel/walk_0004.ply")), readAll(path("range/walk_0004.ply")));
        v.window.openFile(ptv);
        QVERIFY(!v.window.player().loopRange().isSet() && slider->toolTip().isEmpty());

        // A window closed while a sequence plays coarsely goes without drawing it once more in full: a
        // sequence of more pixels than the smallest window shows, so the screen alone makes it coarse.
        QString error;
        QVERIFY(writeSampleSequence(path("wide.ptv"), 960, 768, 3, 30.0f, &error));
        v.window.resize(420, 300);
        v.window.openFile(path("wide.ptv"));
        QTRY_VERIFY(v.view().isPlaying() && v.view().detailStride() > 1);
    }

    // A disc comes nearer by 15 units a frame. The Change colouring gives each pixel its change against
    // the frame shown before, or against the frame R sets (marked on the timeline); a pick tells it. A
    // pin plots the depth the core's series gives, a click on the plot seeks, File Info tells the
    // noise, and Export CSV writes the plot.
    void changeAndPins() {
        Viewer v;
        QString error;
        const QString video = path("approach.ptv");
        QVERIFY(writeSampleSequence(video, kWidth, kHeight, 6, 2.0f, &error, VirtualScanner::Approach));
        const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
            QTest::keyClick(v.window.windowHandle(), key, modifiers);
        };
        v.window.openFile(video);
        press(Qt::Key_Space);
        v.window.findChild<QSlider *>(QStringLiteral("timelineSlider"))->setValue(1);
        press(Qt::Key_Right);
        press(Qt::Key_X);
        QVERIFY(v.counter() == 2 && v.ui.materialTypeComboBox->currentIndex() == Change &&
                v.view().legendVisible());
        // The disc's centre in the first frame, where it stays.
        const SyntheticCapture first = VirtualScanner(kWidth, kHeight, VirtualScanner::Approach).capture(0.0);
        QPoint disc;
        int pixels = 0;
        for (int i = 0; i < kWidth * kHeight; ++i)
            if (first.surface[size_t(i)] == 1)
                disc += QPoint(i % kWidth, i / kWidth), ++pixels;
        disc /= pixels;
        ChangeValues &values = v.view().changeValues();
        QVERIFY(std::fabs(values.valueAt(Change, disc) + 15.0f) < 0.5f);
        const auto onScreen = [&] {
            v.view().grabFramebuffer();
            return SurfacePicker::screenPoint(*measuredPoint(v.store(), disc.x(), disc.y()),
                                              v.view().matrices(), v.view().viewState(), v.view().size())
                ->toPoint();
        };
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, onScreen());
        QVERIFY2(v.ui.pickStatusLabel->text().contains(" units (nearer)"),
                 qPrintable(v.ui.pickStatusLabel->text()));
        press(Qt::Key_R);
        auto *slider = v.window.findChild<TimelineSlider *>(QStringLiteral("timelineSlider"));
        QVERIFY(slider->toolTip().contains("Reference of the change: frame 2") &&
                v.window.changeControls().referenceBox().currentIndex() == 1);
        press(Qt::Key_Right);
        press(Qt::Key_Right);
        QVERIFY(v.counter() == 4 && std::fabs(values.valueAt(Change, disc) + 30.0f) < 0.5f);
        press(Qt::Key_R, Qt::ShiftModifier);
        QVERIFY(slider->toolTip().isEmpty() && std::fabs(values.valueAt(Change, disc) + 15.0f) < 0.5f);

        // A pin fills its plot from the background, with what the core's series gives.
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ControlModifier, onScreen());
        DepthPlotDock &plot = v.window.changeControls().plot();
        QVERIFY(plot.isVisible() && plot.pins().size() == 1);
        QTRY_COMPARE(plot.framesKnown(), 6);
        FrameSource source;
        QVERIFY(source.open(video, &error));
        DepthFrames reader(source);
        const std::vector<QPoint> pinned{plot.pins()[0]};
        QVERIFY(reader.series(
            pinned, kSeriesWindow, 0, 5,
            [&](int32_t frame, const float *depth) { return plot.value(0, frame) == *depth; }, &error));
        // A click on the plot shows the frame under it.
        auto *chart = v.window.findChild<QtCharts::QChartView *>(QStringLiteral("depthPlotView"));
        const QRectF area = chart->chart()->plotArea();
        const double x = chart->chart()->mapToPosition(QPointF(0.5, 0.0)).x();
        QTest::mouseClick(chart->viewport(), Qt::LeftButton, {},
                          chart->mapFromScene(chart->chart()->mapToScene(QPointF(x, area.center().y()))));
        QTRY_COMPARE(v.counter(), 1);
        QTRY_VERIFY(listed(v.window.fileInformationWindow()).constLast().first == "Temporal noise:");
        // Against the mean of the first frames, read in the background: of all six where fewer are held.
        ChangeControls &controls = v.window.changeControls();
        controls.meanFramesBox().setValue(10);
        controls.referenceBox().setCurrentIndex(2);
        QTRY_VERIFY(std::fabs(values.valueAt(Change, disc) - 22.5f) < 0.5f);
        const auto exported = v.willAnswer(path("pin.csv"));
        v.window.findChild<QPushButton *>(QStringLiteral("exportSeriesButton"))->click();
        QVERIFY(*exported);
        const QStringList lines = QString(readAll(path("pin.csv"))).split('\n');
        QVERIFY(lines.size() == 8 &&
                lines[0] == QString("frame,time,depth(%1,%2)").arg(pinned[0].x()).arg(pinned[0].y()));
    }

    // Hiding depth jumps is off on the first run, follows its key and the dock, reaches the view's
    // mesh, and is remembered with its factor for the next run; so are the lighting of each style
    // and the points' size. So is the wheel, which does nothing on
    // the first run and, once let, zooms: a notch forward takes the step's share of the distance.
    void settingsRemembered() {
        {
            Viewer v;
            QVERIFY(!v.ui.hideJumpsCheckBox->isChecked() && !v.view().meshSettings().hideDepthJumps);
            v.window.openFile(pt);
            const size_t triangles = v.view().mesh().indexData.size();
            QTest::keyClick(v.window.windowHandle(), Qt::Key_J);
            QVERIFY(v.ui.hideJumpsCheckBox->isChecked() && v.view().meshSettings().hideDepthJumps);
            QVERIFY(v.view().mesh().indexData.size() < triangles);
            v.ui.depthJumpFactorSpinBox->setValue(7.5);
            QCOMPARE(v.view().meshSettings().depthJumpFactor, 7.5f);
            // Eye-dome lighting is at first Point Cloud's alone; E lights the style shown.
            const EyeDome &lit = v.view().viewState().eyeDome;
            QVERIFY(!v.ui.eyeDomeCheckBox->isChecked() && lit.styles == 1u << PointCloud);
            v.ui.meshTypeComboBox->setCurrentIndex(PointCloud);
            QVERIFY(v.ui.eyeDomeCheckBox->isChecked());
            v.ui.meshTypeComboBox->setCurrentIndex(Shaded);
            QTest::keyClick(v.window.windowHandle(), Qt::Key_E);
            QVERIFY(v.ui.actionEyeDome->isChecked() && lit.styles == (1u << Shaded | 1u << PointCloud));
            v.ui.eyeDomeStrengthSpinBox->setValue(2.5);
            v.ui.pointSizeSpinBox->setValue(3);
            QVERIFY(lit.strength == 2.5f && v.view().viewState().pointPixels == 3);

            QWheelEvent notch(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(&v.view(), &notch);
            QCOMPARE(v.view().viewState().translation, QVector3D());
            v.ui.wheelZoomsCheckBox->setChecked(true);
            v.ui.wheelStepSpinBox->setValue(20);
            const float distance = v.store().centerOfMass.z() - v.view().viewState().cameraOrigin.z();
            QApplication::sendEvent(&v.view(), &notch); // the model comes nearer: it grows
            QVERIFY(std::fabs(v.view().viewState().translation.z() + 0.2f * distance) < 1e-4f * distance);
            v.ui.frameCacheSpinBox->setValue(96);
        }
        Viewer next;
        QVERIFY(next.ui.actionHideDepthJumps->isChecked() && next.ui.depthJumpFactorSpinBox->value() == 7.5);
        QVERIFY(next.ui.wheelZoomsCheckBox->isChecked() && next.ui.wheelStepSpinBox->value() == 20);
        QVERIFY(next.ui.eyeDomeCheckBox->isChecked() && next.ui.eyeDomeStrengthSpinBox->value() == 2.5 &&
                next.ui.pointSizeSpinBox->value() == 3);
        // The frame cache's budget holds for the files opened, and changes with the setting at once.
        next.window.openFile(ptv);
        QCOMPARE(next.window.openSequence()->budget(), int64_t(96) << 20);
        next.ui.frameCacheSpinBox->setValue(32);
        QCOMPARE(next.window.openSequence()->budget(), int64_t(32) << 20);
        // As the next test expects the first run.
        next.ui.hideJumpsCheckBox->setChecked(false);
        next.ui.wheelZoomsCheckBox->setChecked(false);
        next.ui.eyeDomeCheckBox->setChecked(false);
        next.ui.eyeDomeStrengthSpinBox->setValue(1.0);
        next.ui.pointSizeSpinBox->setValue(0);
        QVERIFY(!next.view().meshSettings().hideDepthJumps);
    }

    // Ctrl+Shift+N stores the view on screen, Ctrl+N shows it again: the same picture after the
    // camera moved. Views go to the clipboard and back as text; text that is no view changes nothing.
    // With "Keep the view when opening another file" a file of the same size keeps the camera; without
    // it a file opens at rest.
    void viewsStoredAndShown() {
        Viewer v;
        QWindow *window = v.window.windowHandle();
        v.window.openFile(pt);
        v.view().rotateModel(20.0f, -30.0f, 5.0f);
        QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY2(v.status().startsWith("Stored the view on screen as view 2"), qPrintable(v.status()));
        const QImage stored = v.view().grabFramebuffer();
        v.view().rotateModel(0.0f, 50.0f, 0.0f);
        v.ui.actionMirrorModel->trigger();
        QVERIFY(v.view().grabFramebuffer() != stored);
        QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
        QVERIFY(!v.ui.actionMirrorModel->isChecked() && !v.view().isAnimatingMirror());
        QCOMPARE(v.view().grabFramebuffer(), stored);
        QTest::keyClick(window, Qt::Key_7, Qt::ControlModifier);
        QVERIFY(v.status().startsWith("No view 7 yet"));

        ViewsMenu &views = v.window.views();
        views.copyAction()->trigger();
        const CameraView copied = v.view().cameraView();
        QGuiApplication::clipboard()->setText(QGuiApplication::clipboard()->text().replace("-30", "-3000"));
        views.pasteAction()->trigger();
        QVERIFY2(v.status().contains("the clipboard: 'turn': "), qPrintable(v.status()));
        QVERIFY(v.view().cameraView() == copied);
        v.view().resetModelRotation();
        QGuiApplication::clipboard()->setText(QString::fromUtf8(copied.toText()));
        views.pasteAction()->trigger();
        QVERIFY(v.view().cameraView() == copied && copied != CameraView());

        // Another file of the same size: kept with the setting on, at rest with it off (the first run).
        QVERIFY(!views.keepViewAction()->isChecked());
        views.keepViewAction()->trigger();
        v.window.openFile(xyzm);
        QVERIFY(v.view().cameraView() == copied);
        views.keepViewAction()->trigger();
        v.window.openFile(pt);
        QVERIFY(v.view().cameraView() == copied); // its own session's view
        v.window.openFile(ptv2);
        QVERIFY(v.view().cameraView() == CameraView());
    }

    // What a user set up for a scan (views and their names, the view on screen, the colour scale, the
    // region) is there when it opens again, in the next run too; it travels as a file, checked whole; a
    // broken session is set aside and said once; forgetting it opens the scan as new.
    void sessionsKeptPerScan() {
        CameraView left;
        {
            Viewer v;
            v.window.openFile(pt);
            v.window.views().storeAction(3)->trigger();
            // Named in its dialog, key by key: the keys reach the dialog, not the view's shortcuts.
            QTimer asked;
            QObject::connect(&asked, &QTimer::timeout, [&] {
                auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
                if (!dialog || !dialog->isVisible())
                    return;
                asked.stop();
                hasKeyboardFocus(dialog);
                for (const char c : QByteArray(" from the front "))
                    QTest::keyClick(dialog->windowHandle(), c);
                dialog->accept();
            });
            asked.start(20);
            v.window.views().nameAction()->trigger();
            v.view().rotateModel(10.0f, 35.0f, 0.0f);
            v.ui.materialTypeComboBox->setCurrentIndex(Jet);
            v.ui.sliderMinZ->setValue(30);
            v.window.regionPanel().setRegion(Region::fromCorners({-50, -40, 600}, {60, 50, 700}, false));
            left = v.view().cameraView();
            QVERIFY(v.answer(v.window.views().exportAction(), path("shared"))); // the ending is added
            QCOMPARE(v.offered, "scan.session.json");
        }
        const QString kept = SessionStore::pathFor(pt);
        // Kept in the data folder, nothing beside the scan but the file exported there.
        QVERIFY(QFile::exists(kept) && QDir(dir.path()).entryList({"*.json"}) == QStringList{"shared.json"});
        Viewer v;
        v.window.openFile(pt);
        QVERIFY(v.view().cameraView() == left);
        QCOMPARE(v.window.views().showAction(3)->text(), "View 3: from the front");
        QCOMPARE(v.ui.depthScaleComboBox->currentText(), "fixed");
        const Region region = Region::fromCorners({-50, -40, 600}, {60, 50, 700}, false);
        QVERIFY(v.window.regionPanel().region() == region && v.view().viewState().region == region);
        const QVector3D range = v.view().viewState().colorZrange;

        // Imported: all of it, or with a wrong key nothing of it.
        v.window.views().forgetAction()->trigger();
        QVERIFY(!QFile::exists(kept) && v.view().cameraView() == CameraView() &&
                !v.view().viewState().region.isSet());
        QCOMPARE(v.window.views().showAction(3)->text(), "View 3 (none yet)");
        writeAll(path("wrong.json"), readAll(path("shared.json")).replace("\"fixed\"", "\"sideways\""));
        QVERIFY(v.answer(v.window.views().importAction(), path("wrong.json")));
        QVERIFY2(v.status().startsWith("Could not import wrong.json: 'colours.scale': "),
                 qPrintable(v.status()));
        QVERIFY(v.view().cameraView() == CameraView() && v.window.views().session().views.empty());
        QVERIFY(v.answer(v.window.views().importAction(), path("shared.json")));
        QVERIFY(v.view().cameraView() == left && v.view().viewState().colorZrange == range);
        QCOMPARE(v.window.views().showAction(3)->text(), "View 3: from the front");

        // A session that cannot be read: said once, kept aside, never written over.
        v.window.openFile(xyzm);
        writeAll(kept, "{ torn");
        v.window.openFile(pt);
        QVERIFY2(v.status().startsWith("Could not read the session of scan.pt: not JSON"),
                 qPrintable(v.status()));
        QCOMPARE(readAll(kept.chopped(5) + ".unreadable.json"), QByteArray("{ torn"));
        v.window.openFile(xyzm);
        v.window.statusBar()->clearMessage();
        v.window.openFile(pt);
        QVERIFY2(v.status().isEmpty(), qPrintable(v.status()));

        // A video's pins and the reference set come back with it; a session names them by pixel and frame.
        ChangeControls &change = v.window.changeControls();
        v.window.openFile(ptv);
        v.ui.actionReplay->trigger();
        change.restore({QPoint(10, 12), QPoint(40, 30)}, SessionReference{2, 0});
        v.window.openFile(pt);
        QVERIFY(change.pins().isEmpty() && !change.reference());
        v.window.openFile(ptv);
        QVERIFY(change.pins() == QVector<QPoint>({QPoint(10, 12), QPoint(40, 30)}) && change.reference() &&
                change.reference()->frame == 2 && change.referenceFrame() == 2);
        QVERIFY(readAll(SessionStore::pathFor(ptv)).contains("\"frame\": 2"));
    }

    // A whole video's colour scale is measured while the video plays on: provisional at first, then the
    // bulk of the depths of every frame, as the tool measures it.
    void wholeVideoScale() {
        Viewer v;
        v.window.openFile(ptv);
        v.ui.materialTypeComboBox->setCurrentIndex(Viridis);
        emit v.ui.depthScaleComboBox->activated(int(DepthScale::Sequence));
        const ColorLegend &legend = v.view().colorLegend();
        QCOMPARE(legend.note(), "whole video, provisional");
        QVERIFY(sequenceAdvances(v));
        QTRY_COMPARE(legend.note(), "whole video");
        SequenceDepths whole;
        QString error;
        QVERIFY(measureSequenceDepths(ptv, Region(), &whole, &error));
        QVERIFY(legend.bottomDepth() == whole.nearDepth && legend.topDepth() == whole.farDepth);
        QVERIFY(v.status().startsWith("Colours span the whole video: "));
        QVERIFY(sequenceAdvances(v));
        QCOMPARE(legend.topDepth(), whole.farDepth); // every frame on the one scale
    }

    // Open Recent keeps the last ten files opened, newest first, each once; a file gone from the disk
    // leaves it when chosen, said. The list, the window's size and dock, and the last folder of a
    // dialog are read by the next run; --reset-settings asks the next run to forget them.
    void remembersFilesAndWindow() {
        QSettings().remove("files/recent");
        auto entries = [](Viewer &v) {
            QStringList names;
            for (QAction *entry : v.ui.menuRecent->actions())
                names << entry->text().section(' ', 2, 2);
            return names.join(' ');
        };
        QVERIFY(QDir(dir.path()).mkpath("sub"));
        QString before;
        {
            Viewer v;
            for (int i = 0; i < 11; ++i) {
                QVERIFY(QFile::copy(xyzm, path(QString("sub/%1.xyzm").arg(i))));
                v.window.openFile(path(QString("sub/%1.xyzm").arg(i)));
            }
            v.window.openFile(path("missing.pt"));
            v.window.openFile(path("sub/3.xyzm"));
            QCOMPARE(entries(v), "3.xyzm 10.xyzm 9.xyzm 8.xyzm 7.xyzm 6.xyzm 5.xyzm 4.xyzm 2.xyzm 1.xyzm");
            QVERIFY(QFile::remove(path("sub/9.xyzm")));
            v.ui.menuRecent->actions().at(2)->trigger();
            QVERIFY(v.status().startsWith("Could not open 9.xyzm: ") &&
                    v.store().filePath == path("sub/3.xyzm"));
            v.ui.menuRecent->actions().at(3)->trigger();
            before = entries(v);
            QCOMPARE(before, "7.xyzm 3.xyzm 10.xyzm 8.xyzm 6.xyzm 5.xyzm 4.xyzm 2.xyzm 1.xyzm");
            QVERIFY(v.answer(v.ui.actionOpen3DFile, path("sub/2.xyzm")));
            v.window.resize(1000, 700);
            v.window.addDockWidget(Qt::LeftDockWidgetArea, v.ui.dockWidget);
            v.window.close();
        }
        Viewer next;
        QVERIFY(restoreWindowLayout(next.window));
        QVERIFY(next.window.size() == QSize(1000, 700) &&
                next.window.dockWidgetArea(next.ui.dockWidget) == Qt::LeftDockWidgetArea);
        QCOMPARE(entries(next), "2.xyzm " + QString(before).remove("2.xyzm "));
        QVERIFY(next.answer(next.ui.actionOpen3DFile, QString()) && next.folder == path("sub"));
        QString said;
        QTextStream out(&said);
        QVERIFY(answerCommandLine({"--reset-settings", "walk.ptv"}, out, out) == -1 && said.isEmpty());
        QVERIFY(resetSettingsAsked({"--reset-settings", "walk.ptv"}) &&
                !resetSettingsAsked({"--", "--reset-settings"}));
        QCOMPARE(fileArgument({"--reset-settings", "walk.ptv"}), "walk.ptv");
    }

    void keysAndMouseWindow() {
        Viewer v;
        v.ui.actionKeysAndMouse->trigger();
        KeysAndMouseWindow *help = v.window.keysAndMouseWindow();
        QVERIFY(help && QTest::qWaitForWindowExposed(help));
        QStringList listed;
        for (int r = 0; r < help->table().rowCount(); ++r)
            listed << help->table().item(r, 0)->text();
        // Every key of the window is listed, so a new shortcut cannot be left out.
        for (QAction *action : v.window.findChildren<QAction *>())
            if (!action->shortcut().isEmpty())
                QVERIFY2(listed.contains(action->shortcut().toString(QKeySequence::NativeText)),
                         qPrintable(action->text()));
        // The view's rows are listed (that the view answers each letter among them: its own tests).
        for (const auto &row : ViewerGLWidget::keysAndMouse())
            QVERIFY(listed.contains(row.first));
        // Escape closes it, as any dialog.
        QVERIFY(hasKeyboardFocus(help));
        QTest::keyClick(help->windowHandle(), Qt::Key_Escape);
        QVERIFY(!help->isVisible());
    }

    // Where the window goes, and which names and drops open a scan.
    void placementNamesAndDrops() {
        // 5 % in from the desktop's corner, not from the screen's, and 70 % of its size.
        QCOMPARE(mainWindowGeometry(QRect(60, 0, 1860, 1080)), QRect(93, 54, 1302, 756));
        // Endings and last components the drops below do not reach: dots elsewhere, backslashes.
        QStringList seen;
        for (const char *name : {"frame.backup.pt", "/data.2019/scan", "scan."})
            seen << scanFileEnding(name) + (isScanFileEnding(scanFileEnding(name)) ? "+" : "");
        for (const char *name : {"D:\\scans\\walk.ptv", "D:\\scans/a\\b.pt", "/scans/"})
            seen << lastPathComponent(name);
        QCOMPARE(seen.join('|'), "pt+|2019/scan||walk.ptv|a\\b.pt|");
        // The command line: the toolkit's options and their values pass, and "--" ends the options.
        QString said;
        QTextStream out(&said);
        QCOMPARE(answerCommandLine({"-style", "fusion", "--reverse", "--", "--help"}, out, out), -1);
        QVERIFY(said.isEmpty() && fileArgument({"--", "-odd.pt"}) == "-odd.pt");
        Viewer v;
        auto dragAccepted = [&](const QList<QUrl> &urls, const QString &text = QString()) {
            QMimeData mime;
            mime.setUrls(urls);
            mime.setText(text);
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&v.window, &enter);
            if (enter.isAccepted()) {
                QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(&v.window, &drop);
            }
            return enter.isAccepted();
        };
        QVERIFY(!dragAccepted({QUrl::fromLocalFile(pt), QUrl::fromLocalFile(xyzm)}) &&
                !dragAccepted({QUrl::fromLocalFile(path("notes.txt"))}) && !dragAccepted({}, pt));
        // A dropped file URL becomes its absolute local path, escapes decoded; the ending may be upper case.
        const QString spaced = path("my scan.PT");
        QVERIFY(QFile::copy(pt, spaced));
        QVERIFY(dragAccepted({QUrl::fromLocalFile(spaced)}) && v.store().filePath == spaced);
        QCOMPARE(v.window.windowTitle(), "my scan.PT | Pelnor Viewer");

        // When the one URL is no local file, the dropped text is used, less its "file:///" prefix;
        // such paths start with a drive letter and are relative here.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("D:/scans")) &&
                QFile::copy(xyzm, path("D:/scans/face.xyzm")));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        QVERIFY(
            dragAccepted({QUrl(QStringLiteral("scanner://head/face.xyzm"))}, "file:///D:/scans/face.xyzm"));
        QDir::setCurrent(previous);
        QVERIFY(v.store().filePath == "D:/scans/face.xyzm" && v.store().fileName == "face.xyzm" &&
                v.store().frameKind == XyzmFrame);
    }

    // The debug lines of the viewer and of the framing, the pace of playback among them, say nothing
    // unless the logging rules ask for the program's categories.
    void debugLinesWhenAsked() {
        static QStringList lines;
        lines.clear();
        const QtMessageHandler before = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (type == QtDebugMsg)
                    lines << QString(context.category) + ": " + text;
            });
        const auto restore = qScopeGuard([before] {
            qInstallMessageHandler(before);
            QLoggingCategory::setFilterRules(QString());
        });
        {
            Viewer v;
            v.window.openFile(pt);
            QVERIFY2(lines.isEmpty(), qPrintable(lines.join('\n')));
        }
        QLoggingCategory::setFilterRules("pelnor.*.debug=true");
        Viewer v;
        v.window.openFile(ptv);
        for (const char *line :
             {"pelnor.viewer: Current control type: 0", "pelnor.viewer: mass center QVector3D\\(",
              "pelnor.playback: playback: [\\d.]+ frames per second shown \\(file: 30\\), "})
            QTRY_VERIFY2(!lines.filter(QRegularExpression(QString('^') + line)).isEmpty(), line);
    }

    // Keys come through the X server, as a user's do, with a window manager and without one (where
    // only the window itself hands the keys back once a dialog has closed). After a dialog, Space
    // plays and pauses at once, whatever has the focus. A number typed into a field of the dock is the
    // field's, and no key typed there reaches a shortcut; Escape leaves the field for the view's keys.
    // A shifted number key stores a view.
    void keysThroughTheServer_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("windowManager");
        for (bool managed : {false, true})
            for (const char *dialog : {"save", "snapshot"})
                QTest::addRow("%s, %s", dialog, managed ? "openbox" : "no window manager")
                    << QString(dialog) << managed;
    }
    void keysThroughTheServer() {
        QFETCH(QString, dialog);
        QFETCH(bool, windowManager);
        Viewer v;
        QProcess openbox;
        if (windowManager) {
            openbox.start("openbox", {"--sm-disable"});
            QTRY_VERIFY(v.window.windowHandle()->frameMargins().top() > 0); // framed: managed
        }
        auto xdotool = [](const QStringList &arguments) {
            return QProcess::execute("xdotool", arguments) == 0;
        };
        v.window.openFile(twoFps);
        v.ui.meshTypeComboBox->setFocus(); // the control a stray Space opens
        if (dialog == "snapshot")
            v.ui.actionReplay->trigger(); // a picture is taken of a paused frame
        QVERIFY(v.answer(dialog == "save" ? v.ui.actionSave3DFile : v.ui.actionSaveScreenshot, QString()));
        QVERIFY(!v.view().isPlaying());
        QVERIFY(xdotool({"key", "space"}));
        QTRY_VERIFY(v.view().isPlaying());
        QVERIFY(!QApplication::activePopupWidget() && v.ui.actionReplay->isChecked());
        QVERIFY(xdotool({"key", "space"}));
        QTRY_VERIFY(!v.view().isPlaying());

        const int frame = v.counter();
        QDoubleSpinBox *factor = v.ui.depthJumpFactorSpinBox;
        factor->setFocus(Qt::TabFocusReason); // as Tab reaches it: its text selected
        QVERIFY(xdotool({"type", "1.5"}) && xdotool({"key", "Return", "End", "space", "Escape"}));
        QTRY_VERIFY(v.view().hasFocus());
        QCOMPARE(factor->value(), 1.5);
        QCOMPARE(v.view().meshSettings().depthJumpFactor, 1.5f);
        QVERIFY(!v.ui.actionMirrorModel->isChecked() && v.window.currentControlMethod() == 0 &&
                v.counter() == frame && !v.view().isPlaying() && v.window.isVisible());
        QVERIFY(xdotool({"key", "5"}));
        QTRY_VERIFY(v.ui.actionMirrorModel->isChecked());
        // Ctrl+Shift+2 arrives as Ctrl+@ from a keyboard that shifts 2 to @; it stores view 2 all the same.
        QVERIFY(xdotool({"key", "ctrl+shift+2"}));
        QTRY_VERIFY(v.window.views().session().views.count(2) == 1);
        factor->setValue(5.0); // as the next tests expect the first run
    }

    // Escape ends the program only when it reaches the view with nothing else open: the press that
    // closes a menu or a dialog must not quit with its release. Last, as a quit ends every later
    // event loop at once.
    void escapeClosesWhatIsOpenFirst_data() {
        QTest::addColumn<QString>("open");
        QTest::newRow("Advanced menu") << "menu";
        QTest::newRow("dialog") << "dialog";
        QTest::newRow("nothing: quits") << "";
    }
    void escapeClosesWhatIsOpenFirst() {
        QFETCH(QString, open);
        Viewer v;
        QDialog dialog(&v.window);
        QWidget *shown = open == "menu" ? static_cast<QWidget *>(v.ui.menuAdvanced) : &dialog;
        if (open == "menu") {
            QMenuBar *bar = v.window.menuBar();
            QTest::mouseClick(bar, Qt::LeftButton, {},
                              bar->actionGeometry(v.ui.menuAdvanced->menuAction()).center());
        } else if (open == "dialog") {
            dialog.setModal(true);
            dialog.show();
            QVERIFY(hasKeyboardFocus(&dialog)); // active already while its parent is
        }
        if (open.isEmpty()) {
            QTest::keyPress(v.window.windowHandle(), Qt::Key_Escape);
        } else {
            QVERIFY(QTest::qWaitForWindowExposed(shown));
            QTest::keyPress(shown->windowHandle(), Qt::Key_Escape);
            QTRY_VERIFY(!shown->isVisible());
            // The release reaches the main window once it has the keys back.
            v.window.activateWindow();
            QVERIFY(hasKeyboardFocus(&v.window));
        }
        QTest::keyRelease(v.window.windowHandle(), Qt::Key_Escape);
        QEventLoop loop;
        QTimer::singleShot(50, &loop, [&loop] { loop.exit(7); });
        QCOMPARE(loop.exec() != 7, open.isEmpty());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
