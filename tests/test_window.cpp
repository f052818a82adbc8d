#include "app/keys_and_mouse_window.h"
#include "app/scan_file_names.h"
#include "app/viewer_window.h"
#include "app/viewer_window_form.h"
#include "app/window_placement.h"
#include "data/file_info_rows.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/measured_point.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
#include "test_support.h"
#include "view/viewer_gl_widget.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDialog>
#include <QDockWidget>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextStream>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int kWidth = 80;
constexpr int kHeight = 64;

// A window on its own store, shown and exposed like the one main() makes.
struct Viewer {
    ScanFrameStore store;
    ViewerWindow window{store};
    ViewerWindowForm &ui = window.form();

    Viewer() {
        window.show();
        placeOnPrimaryScreen(window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    ViewerGLWidget &view() { return window.view(); }
    QString status() const { return window.statusBar()->currentMessage(); }
};

// Answers the next modal file dialog from the event loop, once it is up. Returns a flag that
// turns true when the dialog was answered.
std::shared_ptr<bool> answerFileDialog(std::function<void(QFileDialog *)> answer) {
    auto answered = std::make_shared<bool>(false);
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, answered] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
        *answered = true;
    });
    timer->start();
    return answered;
}

std::shared_ptr<bool> chooseFile(const QString &path) {
    return answerFileDialog([path](QFileDialog *dialog) {
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

std::shared_ptr<bool> cancelDialog() {
    return answerFileDialog([](QFileDialog *dialog) { dialog->reject(); });
}

struct ActionStates {
    bool snapshot, save, playEnabled, playChecked, fileInfo;
    bool operator==(const ActionStates &o) const {
        return snapshot == o.snapshot && save == o.save && playEnabled == o.playEnabled &&
               playChecked == o.playChecked && fileInfo == o.fileInfo;
    }
};

ActionStates actionStates(const ViewerWindowForm &ui) {
    return {ui.actionSaveScreenshot->isEnabled(), ui.actionSave3DFile->isEnabled(),
            ui.actionReplay->isEnabled(), ui.actionReplay->isChecked(), ui.actionViewFileInfo->isEnabled()};
}

char *toString(const ActionStates &s) {
    return qstrdup(QStringLiteral("snapshot %1 save %2 play enabled %3 checked %4 info %5")
                       .arg(s.snapshot)
                       .arg(s.save)
                       .arg(s.playEnabled)
                       .arg(s.playChecked)
                       .arg(s.fileInfo)
                       .toUtf8()
                       .constData());
}

// The arrays and the statistics the view draws a frame with.
QByteArray meshAndFraming(const ScanFrameStore &store) {
    QByteArray s(reinterpret_cast<const char *>(store.vertexData.data()), int(4 * store.vertexData.size()));
    s.append(reinterpret_cast<const char *>(store.indexData.data()), int(4 * store.indexData.size()));
    for (const QVector3D &v : {store.boundingBoxMin, store.boundingBoxMax, store.centerOfMass})
        s.append(reinterpret_cast<const char *>(&v), sizeof v);
    s.append(QByteArray::number(store.validCoordinateCount));
    return s;
}

// Waits until the window system has given the widget's window the keyboard focus.
bool hasKeyboardFocus(QWidget *widget) {
    return QTest::qWaitFor([widget] { return QGuiApplication::focusWindow() == widget->windowHandle(); });
}

// The frame shown last by a playing sequence changes within a few timer periods.
bool sequenceAdvances(ViewerGLWidget &view) {
    const int before = view.ptvFrameCounter();
    return QTest::qWaitFor([&] { return view.ptvFrameCounter() != before; }, 2000);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString pt, xyzm, ptv, ptv2, twoFps;

    QString path(const QString &name) const { return dir.filePath(name); }

  private slots:
    void initTestCase() {
        Q_INIT_RESOURCE(icons_and_shaders);
        Q_INIT_RESOURCE(style);
        QFile sheet(QStringLiteral(":qdarkstyle/style.qss"));
        QVERIFY(sheet.open(QFile::ReadOnly | QFile::Text));
        qApp->setStyleSheet(QTextStream(&sheet).readAll());

        QVERIFY(dir.isValid());
        QString error;
        pt = path("scan.pt");
        xyzm = path("scan.xyzm");
        ptv = path("walk.ptv");
        ptv2 = path("run.ptv");
        QVERIFY2(writeSampleFile(pt, kWidth, kHeight, &error), qPrintable(error));
        QVERIFY2(writeSampleFile(xyzm, kWidth, kHeight, &error), qPrintable(error));
        QVERIFY2(writeSampleSequence(ptv, kWidth, kHeight, 6, 30.0f, &error), qPrintable(error));
        QVERIFY2(writeSampleSequence(ptv2, kWidth, kHeight, 4, 30.0f, &error), qPrintable(error));
        // Two frames a second leave time for a key between ticks.
        twoFps = path("two-fps.ptv");
        QVERIFY2(writeSampleSequence(twoFps, kWidth, kHeight, 6, 2.0f, &error), qPrintable(error));
    }

    void constructionState() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        QCOMPARE(v.window.windowTitle(), QStringLiteral("Pelnor Viewer"));
        QCOMPARE(v.window.objectName(), QStringLiteral("ViewerWindow"));
        QVERIFY(v.window.acceptDrops());
        QVERIFY(!v.window.windowIcon().pixmap(32, 32).isNull());
        const QLabel *version = v.window.findChild<QLabel *>("versionLabel");
        QVERIFY(version && version->isVisible());
        QCOMPARE(version->text(), QStringLiteral("Pelnor Viewer " PELNOR_VERSION));
        QCOMPARE(v.store.frameKind, int32_t(PtFrame));
        QCOMPARE(v.window.currentControlMethod(), 0);

        // Text, tool tip, shortcut, icon and checkability of every action, in form order.
        struct Expected {
            QAction *action;
            const char *name, *text, *toolTip, *shortcut;
            bool hasIcon, checkable, checked, enabled;
        };
        const Expected actions[] = {
            {ui.actionOpen3DFile, "actionOpen3DFile", "Open 3D file...",
             "Select a 3D file on the disk to load.", "Ctrl+O", true, false, false, true},
            {ui.actionSaveScreenshot, "actionSaveScreenshot", "Snapshot",
             "Save a screenshot of the current rendering (F10)", "F10", true, false, false, false},
            {ui.actionResetViewer, "actionResetViewer", "Reset", "Reset the camera (4)", "4", true, false,
             false, true},
            {ui.actionSetControlMethodRotate, "actionSetControlMethodRotate", "Rotate",
             "Rotation control method (1)", "1", true, true, true, true},
            {ui.actionSetControlMethodTranslate, "actionSetControlMethodTranslate", "Pan",
             "Translation control method (2)", "2", true, true, false, true},
            {ui.actionSetControlMethodZoom, "actionSetControlMethodZoom", "Zoom", "Zoom control method (3)",
             "3", true, true, false, true},
            {ui.actionMirrorModel, "actionMirrorModel", "Mirror", "Mirror the model (5)", "5", true, true,
             false, true},
            {ui.actionViewFileInfo, "actionViewFileInfo", "File Info", "Info about current mesh", "", true,
             false, false, true},
            {ui.actionReplay, "actionReplay", "Play", "Play or pause the sequence (Space)", "Space", true,
             true, false, false},
            {ui.actionDepthColor, "actionDepthColor", "DepthColor", "DepthColor", "", false, false, false,
             true},
            {ui.actionSave3DFile, "actionSave3DFile", "Save", "Save current 3D frame", "", true, false, false,
             false},
        };
        for (const Expected &e : actions) {
            QVERIFY2(e.action, e.name);
            QCOMPARE(e.action->objectName(), QString::fromLatin1(e.name));
            QCOMPARE(e.action->parent(), &v.window);
            QCOMPARE(e.action->text(), QString::fromLatin1(e.text));
            QCOMPARE(e.action->toolTip(), QString::fromLatin1(e.toolTip));
            QCOMPARE(e.action->shortcut(), QKeySequence(QString::fromLatin1(e.shortcut)));
            // The SVG icons come from the compiled-in collection through the SVG image plug-in.
            QCOMPARE(!e.action->icon().pixmap(24, 24).isNull(), e.hasIcon);
            QCOMPARE(e.action->isCheckable(), e.checkable);
            QCOMPARE(e.action->isChecked(), e.checked);
            QCOMPARE(e.action->isEnabled(), e.enabled);
        }

        // Tool bar: Play, the control methods, Reset | Mirror | Snapshot, Save, spacer, File Info.
        const QList<QAction *> bar = ui.mainToolBar->actions();
        QCOMPARE(bar.size(), 12);
        const QList<QAction *> leading = {ui.actionReplay, ui.actionSetControlMethodRotate,
                                          ui.actionSetControlMethodTranslate, ui.actionSetControlMethodZoom,
                                          ui.actionResetViewer};
        QCOMPARE(bar.mid(0, 5), leading);
        QVERIFY(bar.at(5)->isSeparator());
        QCOMPARE(bar.at(6), ui.actionMirrorModel);
        QVERIFY(bar.at(7)->isSeparator());
        QCOMPARE(bar.at(8), ui.actionSaveScreenshot);
        QCOMPARE(bar.at(9), ui.actionSave3DFile);
        QVERIFY(ui.mainToolBar->widgetForAction(bar.at(10))->sizePolicy().horizontalPolicy() ==
                QSizePolicy::Expanding);
        QCOMPARE(bar.at(11), ui.actionViewFileInfo);
        QVERIFY(!ui.mainToolBar->isMovable());
        QVERIFY(!ui.mainToolBar->isFloatable());
        QCOMPARE(ui.mainToolBar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        // File Info sits at the right end, also once the window is wider.
        for (int width : {1000, 1600}) {
            v.window.resize(width, 700);
            QTest::qWait(50);
            QWidget *info = ui.mainToolBar->widgetForAction(ui.actionViewFileInfo);
            QVERIFY(ui.mainToolBar->width() - (info->geometry().right() + 1) < 16);
        }

        QCOMPARE(v.window.menuBar()->actions(),
                 (QList<QAction *>{ui.menuOpen->menuAction(), ui.menuAdvanced->menuAction(),
                                   ui.menuHelp->menuAction()}));
        QCOMPARE(ui.menuOpen->title(), QStringLiteral("File"));
        QCOMPARE(ui.menuAdvanced->title(), QStringLiteral("Advanced"));
        QCOMPARE(ui.menuOpen->actions(), (QList<QAction *>{ui.actionOpen3DFile, ui.actionSaveScreenshot}));
        QCOMPARE(ui.menuAdvanced->actions(), QList<QAction *>{ui.actionDepthColor});

        // The dock: movable and floatable, no close button, on the right, five rows.
        QCOMPARE(ui.dockWidget->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(ui.dockWidget->features(),
                 QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        QCOMPARE(v.window.dockWidgetArea(ui.dockWidget), Qt::RightDockWidgetArea);
        QCOMPARE(ui.meshTypeLabel->text(), QStringLiteral("Rendering Style"));
        QCOMPARE(ui.materialTypeLabel->text(), QStringLiteral("Coloring Style"));
        QCOMPARE(ui.lightIntensityLabel->text(), QStringLiteral("Light Intensity"));
        QCOMPARE(ui.label->text(), QStringLiteral("Min Z Color "));
        QCOMPARE(ui.label_2->text(), QStringLiteral("Max Z Color"));
        const QStringList meshItems = {"Shaded", "Wireframe", "Point Cloud"};
        const QStringList materialItems = {"Solid", "Texture", "Depth", "Jet", "Magma", "Viridis"};
        for (int i = 0; i < meshItems.size(); ++i)
            QCOMPARE(ui.meshTypeComboBox->itemText(i), meshItems.at(i));
        QCOMPARE(ui.meshTypeComboBox->count(), 3);
        for (int i = 0; i < materialItems.size(); ++i)
            QCOMPARE(ui.materialTypeComboBox->itemText(i), materialItems.at(i));
        QCOMPARE(ui.materialTypeComboBox->count(), 6);
        QCOMPARE(ui.meshTypeComboBox->currentIndex(), 0);
        QCOMPARE(ui.materialTypeComboBox->currentIndex(), 0);

        // Sliders, and the view brought in step with them while the window was built: the Max Z
        // slider stops at 99, and the view's low depth end is where 99 puts it.
        QCOMPARE(ui.lightIntensityHorizontalSlider->value(), 13);
        QCOMPARE(ui.lightIntensityHorizontalSlider->maximum(), 100);
        QCOMPARE(ui.sliderMinZ->value(), 1);
        QCOMPARE(ui.sliderMaxZ->value(), 99);
        QCOMPARE(ui.sliderMaxZ->maximum(), 99);
        QCOMPARE(v.view().lightIntensity(), 1.3f);
        const float e = v.store.boundingBoxMax.z() - v.store.boundingBoxMin.z();
        const float c = v.store.centerOfMass.z();
        QCOMPARE(v.view().colorZrange().x(), (0.5f - 99 / 100.0f) * e + c);
        QCOMPARE(v.view().colorZrange().y(), (0.5f - 1 / 100.0f) * e + c);
        QCOMPARE(v.view().cursor().shape(), Qt::OpenHandCursor);

        // The combo boxes drive the view and the view's announcements drive the combo boxes.
        ui.meshTypeComboBox->setCurrentIndex(1);
        ui.materialTypeComboBox->setCurrentIndex(4);
        QCOMPARE(v.store.meshType, 1);
        QCOMPARE(v.store.materialType, 4);
        emit v.view().meshTypeWasChanged(2);
        QCOMPARE(ui.meshTypeComboBox->currentIndex(), 2);
        QCOMPARE(v.store.meshType, 2);

        // The file information window is a top-level window of its own, empty and hidden.
        QTableWidget &table = v.window.fileInformationWindow();
        QVERIFY(!table.parent());
        QVERIFY(table.isHidden());
        QCOMPARE(table.rowCount(), 0);
        QCOMPARE(table.columnCount(), 2);

        // Connections are made by name, so the slot list is part of the window's contract.
        const QMetaObject *meta = v.window.metaObject();
        const QStringList methods = {"viewerWindowDidClose(int)",
                                     "open3DFile()",
                                     "save3DFile()",
                                     "viewFileInfo()",
                                     "saveScreenshot()",
                                     "dock_didUndock()",
                                     "setRotation(bool)",
                                     "setTranslation(bool)",
                                     "setZoom(bool)",
                                     "setMirrorGeometry(bool)",
                                     "replayVideo(bool)",
                                     "savePtFile(QString)",
                                     "saveXZYMFile(QString)",
                                     "savePlyFile(QString)",
                                     "stepBack()",
                                     "stepForward()",
                                     "firstFrame()",
                                     "lastFrame()",
                                     "showKeysAndMouse()"};
        QCOMPARE(meta->methodCount() - meta->methodOffset(), methods.size());
        for (int i = 0; i < methods.size(); ++i)
            QCOMPARE(QString::fromLatin1(meta->method(meta->methodOffset() + i).methodSignature()),
                     methods.at(i));

        // Closing announces the instance, which is always -1.
        QSignalSpy closed(&v.window, SIGNAL(viewerWindowDidClose(int)));
        v.window.close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0).at(0).toInt(), -1);
    }

    void placementAndNames() {
        QCOMPARE(mainWindowGeometry(QRect(0, 0, 1920, 1040)), QRect(96, 52, 1344, 728));
        QCOMPARE(mainWindowGeometry(QRect(0, 0, 2560, 1400)), QRect(128, 70, 1792, 979));
        // A task bar at the left does not shift the window: 5 % from the desktop origin.
        QCOMPARE(mainWindowGeometry(QRect(60, 0, 1860, 1080)), QRect(93, 54, 1302, 756));

        Viewer v;
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(v.window.geometry(), mainWindowGeometry(available));

        QCOMPARE(scanFileEnding("scan.XYZM"), QStringLiteral("xyzm"));
        QCOMPARE(scanFileEnding("frame.backup.pt"), QStringLiteral("pt"));
        QCOMPARE(scanFileEnding("/data.2019/scan"), QStringLiteral("2019/scan"));
        QCOMPARE(scanFileEnding("scan."), QString());
        QCOMPARE(scanFileEnding("pt"), QStringLiteral("pt"));
        QVERIFY(isScanFileEnding("ptv") && isScanFileEnding("xyzm") && isScanFileEnding("pt"));
        QVERIFY(!isScanFileEnding("2019/scan") && !isScanFileEnding("") && !isScanFileEnding("ply"));
        QCOMPARE(lastPathComponent("D:/scans/face.pt"), QStringLiteral("face.pt"));
        QCOMPARE(lastPathComponent("D:\\scans\\walk.ptv"), QStringLiteral("walk.ptv"));
        QCOMPARE(lastPathComponent("D:\\scans/a\\b.pt"), QStringLiteral("a\\b.pt"));
        QCOMPARE(lastPathComponent("/scans/"), QString());
    }

    void shortcutsAndControlMethods() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        QVERIFY(QTest::qWaitForWindowActive(&v.window));
        QWindow *window = v.window.windowHandle();

        QTest::keyClick(window, Qt::Key_2);
        QVERIFY(ui.actionSetControlMethodTranslate->isChecked());
        QVERIFY(!ui.actionSetControlMethodRotate->isChecked());
        QCOMPARE(v.window.currentControlMethod(), 1);
        QCOMPARE(v.view().cursor().shape(), Qt::SizeAllCursor);

        // Clicking the checked method leaves it checked: the group is never empty.
        ui.actionSetControlMethodTranslate->trigger();
        QVERIFY(ui.actionSetControlMethodTranslate->isChecked());
        QCOMPARE(v.window.currentControlMethod(), 1);

        QTest::keyClick(window, Qt::Key_3);
        QVERIFY(ui.actionSetControlMethodZoom->isChecked());
        QVERIFY(!ui.actionSetControlMethodTranslate->isChecked() &&
                !ui.actionSetControlMethodRotate->isChecked());
        QCOMPARE(v.window.currentControlMethod(), 2);
        QCOMPARE(v.view().cursor().shape(), Qt::SizeVerCursor);

        QTest::keyClick(window, Qt::Key_1);
        QVERIFY(ui.actionSetControlMethodRotate->isChecked());
        QVERIFY(!ui.actionSetControlMethodZoom->isChecked());
        QCOMPARE(v.window.currentControlMethod(), 0);
        QCOMPARE(v.view().cursor().shape(), Qt::OpenHandCursor);

        v.view().rotateModel(30.0f, 40.0f, 0.0f);
        QTest::keyClick(window, Qt::Key_4);
        QCOMPARE(v.view().rotation(), QVector3D());

        QTest::keyClick(window, Qt::Key_5);
        QVERIFY(ui.actionMirrorModel->isChecked());
        QVERIFY(v.view().isAnimatingMirror());
        QCOMPARE(v.status(), QStringLiteral("Mirroring geometry..."));
        QTest::keyClick(window, Qt::Key_5);
        QVERIFY(!ui.actionMirrorModel->isChecked());
        QCOMPARE(v.status(), QStringLiteral("Un-mirroring geometry..."));

        // F10 does nothing until a frame enables Snapshot.
        QTest::keyClick(window, Qt::Key_F10);
        QTest::qWait(100);
        QVERIFY(!QApplication::activeModalWidget());

        // Ctrl+O asks for a file, and the dialog takes typed keys although the view holds the
        // keyboard while the main window is active.
        QString typed, caption;
        QStringList filters;
        auto answered = answerFileDialog([&](QFileDialog *dialog) {
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            QVERIFY(hasKeyboardFocus(dialog));
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->clear();
            for (char key : {'w', 's', 'd'})
                QTest::keyClick(dialog->windowHandle(), key);
            typed = edit->text();
            dialog->reject();
        });
        QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(*answered);
        QCOMPARE(caption, QStringLiteral("Open 3D File"));
        QCOMPARE(filters, QStringList{QStringLiteral("3D Files (*.xyzm *.pt *.ptv)")});
        QCOMPARE(typed, QStringLiteral("wsd"));
        // The letters went to the dialog, not to the view's style keys.
        QCOMPARE(v.store.meshType, 0);
        QCOMPARE(v.store.materialType, 0);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("Pelnor Viewer"));
    }

    void openingFiles() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        ui.actionSetControlMethodZoom->trigger();

        v.window.openFile(pt);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("scan.pt | Pelnor Viewer"));
        QCOMPARE(v.store.fileName, QStringLiteral("scan.pt"));
        QCOMPARE(v.store.filePath, pt);
        QCOMPARE(v.store.frameKind, int32_t(PtFrame));
        QCOMPARE(v.store.width, kWidth);
        QCOMPARE(actionStates(ui), (ActionStates{true, true, false, false, true}));
        // Opening selects Rotate again.
        QVERIFY(ui.actionSetControlMethodRotate->isChecked());
        QVERIFY(!ui.actionSetControlMethodZoom->isChecked());
        QCOMPARE(v.window.currentControlMethod(), 0);
        QVERIFY(!v.store.indexData.empty());

        v.window.openFile(xyzm);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("scan.xyzm | Pelnor Viewer"));
        QCOMPARE(v.store.frameKind, int32_t(XyzmFrame));
        QCOMPARE(actionStates(ui), (ActionStates{true, true, false, false, true}));

        v.window.openFile(ptv);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("walk.ptv | 3D Video Viewer"));
        QCOMPARE(v.store.frameKind, int32_t(PtvFrame));
        QVERIFY(v.view().isPlaying());
        QVERIFY(sequenceAdvances(v.view()));

        // An empty path is no request at all.
        v.window.openFile(QString());
        QCOMPARE(v.window.windowTitle(), QStringLiteral("walk.ptv | 3D Video Viewer"));
        QVERIFY(v.view().isPlaying());
    }

    void failedOpenKeepsEverything() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        // Before any frame there is nothing to save, also after a failed first open.
        const ActionStates fresh = actionStates(ui);
        v.window.openFile(path("missing.pt"));
        QCOMPARE(actionStates(ui), fresh);
        QVERIFY(!fresh.save && !fresh.snapshot);
        v.window.openFile(pt);
        const QByteArray frame = storeSnapshot(v.store);
        const ActionStates states = actionStates(ui);
        const int rows = v.window.fileInformationWindow().rowCount();

        QByteArray bytes = readAll(pt);
        writeAll(path("short.pt"), bytes.left(bytes.size() - 10));
        QByteArray wrongVersion = bytes;
        wrongVersion[0] = 7;
        writeAll(path("version.pt"), wrongVersion);
        writeAll(path("empty.xyzm"), QByteArray());
        writeAll(path("notes.txt"), "not a scan");
        writeAll(path("broken.ptv"), QByteArray(100, '\1'));

        const QStringList names = {"missing.pt", "short.pt",  "version.pt",
                                   "empty.xyzm", "notes.txt", "broken.ptv"};
        for (const QString &name : names) {
            v.window.openFile(path(name));
            QVERIFY2(v.status().startsWith(QStringLiteral("Could not open ") + name + QStringLiteral(": ")),
                     qPrintable(v.status()));
            QVERIFY2(v.status().size() > QStringLiteral("Could not open : ").size() + name.size(),
                     "the message gives a reason");
            QVERIFY2(storeSnapshot(v.store) == frame, qPrintable(name));
            QCOMPARE(v.store.fileName, QStringLiteral("scan.pt"));
            QCOMPARE(v.store.filePath, pt);
            QCOMPARE(v.window.windowTitle(), QStringLiteral("scan.pt | Pelnor Viewer"));
            QCOMPARE(actionStates(ui), states);
            QCOMPARE(v.window.fileInformationWindow().rowCount(), rows);
            QCOMPARE(v.window.fileInformationWindow().windowTitle(), QStringLiteral("About scan.pt"));
        }
        // Long enough to read: still there well after an ordinary message would have gone.
        QTest::qWait(3000);
        QVERIFY(v.status().startsWith(QStringLiteral("Could not open broken.ptv: ")));

        // A sequence that plays goes on playing when another file cannot be opened.
        v.window.openFile(ptv);
        const ActionStates playing = actionStates(ui);
        for (const QString &name : QStringList{"short.pt", "broken.ptv", "notes.txt"}) {
            v.window.openFile(path(name));
            QVERIFY(v.status().startsWith(QStringLiteral("Could not open ") + name));
            QCOMPARE(v.window.windowTitle(), QStringLiteral("walk.ptv | 3D Video Viewer"));
            QCOMPARE(actionStates(ui), playing);
            QCOMPARE(v.store.frameKind, int32_t(PtvFrame));
            QVERIFY(v.view().isPlaying());
        }
        QVERIFY(sequenceAdvances(v.view()));

        // A paused sequence whose file has gone cannot resume: Play stays off and says why.
        ui.actionReplay->trigger();
        QVERIFY(!v.view().isPlaying());
        const QString gone = path("gone.ptv");
        QVERIFY(QFile::copy(ptv2, gone));
        v.window.openFile(gone);
        ui.actionReplay->trigger();
        QVERIFY(!v.view().isPlaying());
        QVERIFY(QFile::remove(gone));
        ui.actionReplay->trigger();
        QVERIFY(!v.view().isPlaying());
        QVERIFY(!ui.actionReplay->isChecked());
        QVERIFY(v.status().startsWith(QStringLiteral("Could not open gone.ptv: ")));
        QCOMPARE(actionStates(ui), (ActionStates{true, true, true, false, true}));
    }

    void sequenceActionStates() {
        Viewer v;
        ViewerWindowForm &ui = v.ui;
        const ActionStates afterConstruction = actionStates(ui);

        // Opening a sequence while Play is unchecked starts it once and checks Play.
        v.window.openFile(ptv);
        QCOMPARE(actionStates(ui), (ActionStates{false, false, true, true, afterConstruction.fileInfo}));
        QCOMPARE(v.window.windowTitle(), QStringLiteral("walk.ptv | 3D Video Viewer"));
        QCOMPARE(v.store.frameKind, int32_t(PtvFrame));
        QVERIFY(v.view().isPlaying());
        QVERIFY(sequenceAdvances(v.view()));

        ui.actionReplay->trigger(); // pause
        QCOMPARE(actionStates(ui), (ActionStates{true, true, true, false, true}));
        QVERIFY(!v.view().isPlaying());
        const int shown = v.view().ptvFrameCounter();
        QTest::qWait(150);
        QCOMPARE(v.view().ptvFrameCounter(), shown);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("walk.ptv | 3D Video Viewer"));

        ui.actionReplay->trigger(); // play again
        QCOMPARE(actionStates(ui), (ActionStates{false, false, true, true, true}));
        QVERIFY(v.view().isPlaying());
        QVERIFY(sequenceAdvances(v.view()));

        // A second sequence replaces the first.
        v.window.openFile(ptv2);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("run.ptv | 3D Video Viewer"));
        QCOMPARE(actionStates(ui), (ActionStates{false, false, true, true, true}));
        QVERIFY(sequenceAdvances(v.view()));

        // Save stops the playback and unchecks Play before the dialog shows.
        bool playingAtDialog = true;
        ActionStates atDialog{};
        const QString saved = path("from-sequence.pt");
        auto answered = answerFileDialog([&](QFileDialog *dialog) {
            playingAtDialog = v.view().isPlaying();
            atDialog = actionStates(ui);
            dialog->selectFile(saved);
            static_cast<QDialog *>(dialog)->accept();
        });
        ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QVERIFY(!playingAtDialog);
        QCOMPARE(atDialog, (ActionStates{true, true, true, false, true}));
        QCOMPARE(actionStates(ui), (ActionStates{true, true, true, false, true}));
        ScanFrameStore reread;
        QString error;
        QVERIFY2(loadPtFile(reread, saved, &error), qPrintable(error));
        QCOMPARE(reread.width, kWidth);
        QCOMPARE(reread.height, kHeight);

        // Opening a single frame during playback stops it; Play is off and disabled.
        ui.actionReplay->trigger();
        QVERIFY(v.view().isPlaying());
        v.window.openFile(xyzm);
        QVERIFY(!v.view().isPlaying());
        QCOMPARE(actionStates(ui), (ActionStates{true, true, false, false, true}));
        QCOMPARE(v.store.frameKind, int32_t(XyzmFrame));
        QCOMPARE(v.window.windowTitle(), QStringLiteral("scan.xyzm | Pelnor Viewer"));
        const int counter = v.view().ptvFrameCounter();
        QTest::qWait(150);
        QCOMPARE(v.view().ptvFrameCounter(), counter);
    }

    void sequenceStartsOnARealFrame() {
        // Slow enough that no tick comes during the test, and of another size than the frame before.
        const QString slow = path("slow.ptv");
        QString error;
        QVERIFY2(writeSampleSequence(slow, 64, 48, 4, 0.05f, &error), qPrintable(error));
        Viewer v;
        v.window.openFile(xyzm);
        v.window.openFile(slow);
        QCOMPARE(v.view().ptvFrameCounter(), 2);
        QCOMPARE(v.store.frameKind, int32_t(PtvFrame));
        QCOMPARE(v.store.vertexData.size(), size_t(10 * 64 * 48));
        const QImage shown = v.view().grabFramebuffer();
        QVERIFY(shown.pixel(shown.width() / 2, shown.height() / 2) != shown.pixel(1, 1));

        // Paused at once, Save writes the frame on screen, not empty buffers.
        v.ui.actionReplay->trigger();
        auto answered = chooseFile(path("paused.pt"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        ScanFrameStore reread;
        QVERIFY2(loadPtFile(reread, path("paused.pt"), &error), qPrintable(error));
        QCOMPARE(reread.width, 64);
        QVERIFY(std::count(reread.mask.get(), reread.mask.get() + reread.pixelCount, 0) <
                reread.pixelCount / 2);
    }

    // Escape ends the program only when it reaches the view with nothing else open: the press that
    // closes a menu or a dialog must not quit with its release.
    void escapeClosesWhatIsOpenFirst_data() {
        QTest::addColumn<bool>("menu");
        QTest::newRow("Advanced menu") << true;
        QTest::newRow("dialog") << false;
    }

    void escapeClosesWhatIsOpenFirst() {
        QFETCH(bool, menu);
        Viewer v;
        QVERIFY(QTest::qWaitForWindowActive(&v.window));
        QDialog dialog(&v.window);
        QWidget *open = &dialog;
        if (menu) {
            open = v.ui.menuAdvanced;
            QMenuBar *bar = v.window.menuBar();
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                              bar->actionGeometry(v.ui.menuAdvanced->menuAction()).center());
        } else {
            dialog.setModal(true);
            dialog.show();
            // A dialog counts as active while its parent is: wait until it has the keyboard.
            QVERIFY(hasKeyboardFocus(&dialog));
        }
        QVERIFY(QTest::qWaitForWindowExposed(open));
        QTest::keyPress(open->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!open->isVisible());
        // The release reaches the main window once it has the keys back.
        v.window.activateWindow();
        QVERIFY(hasKeyboardFocus(&v.window));
        QTest::keyRelease(v.window.windowHandle(), Qt::Key_Escape);
        // A quit would end the next event loop at once.
        QEventLoop loop;
        QTimer::singleShot(50, &loop, [&loop] { loop.exit(7); });
        QCOMPARE(loop.exec(), 7);
    }

    void savingThroughDialogs() {
        Viewer v;
        const QDir folder(dir.path());
        v.window.openFile(xyzm);
        QString caption;
        QStringList filters;
        auto answered = answerFileDialog([&](QFileDialog *dialog) {
            caption = dialog->windowTitle();
            filters = dialog->nameFilters();
            dialog->selectFile(path("copy.xyzm"));
            static_cast<QDialog *>(dialog)->accept();
        });
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QCOMPARE(caption, QStringLiteral("Save File"));
        QCOMPARE(filters, (QStringList{"XYZM Files (*.xyzm)", "PLY Files (*.ply)"}));
        ScanFrameStore reread;
        QString error;
        QVERIFY2(loadXYZMFile(reread, path("copy.xyzm"), &error, nullptr), qPrintable(error));
        QCOMPARE(reread.pixelCount, kWidth * kHeight);

        // Cancelling writes nothing and reports no failure, for an XYZM frame too.
        const QStringList before = folder.entryList(QDir::Files);
        answered = cancelDialog();
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QCOMPARE(folder.entryList(QDir::Files), before);
        QCOMPARE(v.status(), QString());

        v.window.openFile(pt);
        answered = chooseFile(path("copy.pt"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QVERIFY2(loadPtFile(reread, path("copy.pt"), &error), qPrintable(error));
        QCOMPARE(reread.frameKind, int32_t(PtFrame));

        // A PT frame may also be saved as XYZM: the ending of the name decides.
        answered = chooseFile(path("triangulated.xyzm"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QVERIFY2(loadXYZMFile(reread, path("triangulated.xyzm"), &error, nullptr), qPrintable(error));

        // And as PLY: a vertex per measured pixel and the triangles of the coordinate mesh, while
        // the mesh and the framing the view draws with stay as they were.
        const QByteArray drawn = meshAndFraming(v.store);
        answered = chooseFile(path("mesh.ply"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QCOMPARE(meshAndFraming(v.store), drawn);
        const QByteArray ply = readAll(path("mesh.ply"));
        const int body = ply.indexOf("end_header\n") + 11;
        const QRegularExpressionMatch counts =
            QRegularExpression(R"(element vertex (\d+)\n(?:.*\n)*element face (\d+)\n)")
                .match(ply.left(body));
        QVERIFY(body > 11 && counts.hasMatch());
        const int vertices = counts.captured(1).toInt(), faces = counts.captured(2).toInt();
        QCOMPARE(vertices, int(std::count_if(v.store.mask.get(), v.store.mask.get() + v.store.pixelCount,
                                             [](uint8_t m) { return m != 0; })));
        QVERIFY(faces > 0);
        QCOMPARE(ply.size() - body, vertices * 27 + faces * 13);

        const QStringList beforeCancel = folder.entryList(QDir::Files);
        answered = cancelDialog();
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QCOMPARE(folder.entryList(QDir::Files), beforeCancel);

        // A name without a scan ending saves nothing and says so.
        answered = chooseFile(path("copy.txt"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QCOMPARE(folder.entryList(QDir::Files), beforeCancel);
        QVERIFY(v.status().startsWith(QStringLiteral("Could not save copy.txt: ")));

        // A writer failure is shown too.
        answered = chooseFile(path("no-such-folder/copy.pt"));
        v.ui.actionSave3DFile->trigger();
        QVERIFY(*answered);
        QVERIFY(v.status().startsWith(QStringLiteral("Could not save copy.pt: ")));

        // The dialog starts beside the scan, so a typed bare name lands there, and a name typed
        // without an ending takes the ending of the file type chosen.
        const struct {
            const char *typed, *filter, *saved;
        } typedNames[] = {{"typed.pt", "PT Files (*.pt)", "typed.pt"},
                          {"bare", "PT Files (*.pt)", "bare.pt"},
                          {"bare", "XYZM Files (*.xyzm)", "bare.xyzm"},
                          {"bare", "PLY Files (*.ply)", "bare.ply"}};
        for (const auto &t : typedNames) {
            answered = answerFileDialog([&](QFileDialog *dialog) {
                dialog->selectNameFilter(QString::fromLatin1(t.filter));
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                QVERIFY(edit);
                edit->setText(QString::fromLatin1(t.typed));
                static_cast<QDialog *>(dialog)->accept();
            });
            v.ui.actionSave3DFile->trigger();
            QVERIFY(*answered);
            QVERIFY2(QFile::exists(path(t.saved)), t.saved);
        }
        QVERIFY(loadXYZMFile(reread, path("bare.xyzm"), &error, nullptr));
        QVERIFY(!QFile::exists(path("bare")));
    }

    void screenshots() {
        Viewer v;
        v.window.openFile(pt);
        QVERIFY(QTest::qWaitForWindowActive(&v.window));

        QString proposed, caption;
        auto answered = answerFileDialog([&](QFileDialog *dialog) {
            caption = dialog->windowTitle();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            proposed = edit ? edit->text() : QString();
            dialog->selectFile(path("shot.png"));
            static_cast<QDialog *>(dialog)->accept();
        });
        QTest::keyClick(v.window.windowHandle(), Qt::Key_F10);
        QTRY_VERIFY(*answered);
        QCOMPARE(caption, QStringLiteral("Save Screenshot"));
        QCOMPARE(proposed,
                 QStringLiteral("Screenshot_%1_scan.png").arg(QDate::currentDate().toString("yyyy-MM-dd")));
        QCOMPARE(v.status(), QStringLiteral("Screenshot successfully saved."));
        QImageReader png(path("shot.png"));
        QCOMPARE(png.format(), QByteArray("png"));
        const QImage image = png.read();
        QCOMPARE(image.size(), v.view().size());
        // The surface is in the picture, not only the background.
        const QRgb background = image.pixel(1, 1);
        bool surface = false;
        for (int y = 0; y < image.height() && !surface; y += 4)
            for (int x = 0; x < image.width() && !surface; x += 4)
                surface = qGray(image.pixel(x, y)) > qGray(background) + 60;
        QVERIFY(surface);

        // The suffix, not the filter, picks the format.
        answered = chooseFile(path("shot.jpg"));
        v.ui.actionSaveScreenshot->trigger();
        QVERIFY(*answered);
        QCOMPARE(QImageReader(path("shot.jpg")).format(), QByteArray("jpeg"));

        answered = chooseFile(path("no-such-folder/shot.png"));
        v.ui.actionSaveScreenshot->trigger();
        QVERIFY(*answered);
        QCOMPARE(v.status(), QStringLiteral("Error saving screenshot."));
    }

    // Picks stand through style and colour changes, follow their pixel through a playing
    // sequence and go with a new file; the depth sliders show the legend's ends and rest while the
    // colouring does not use them.
    void inspectingTheSurface() {
        Viewer v;
        v.window.openFile(pt);
        QVERIFY(!v.view().legendVisible());
        for (QWidget *w :
             {(QWidget *)v.ui.sliderMinZ, (QWidget *)v.ui.sliderMaxZ, (QWidget *)v.ui.labelMinZDepth})
            QVERIFY(!w->isEnabled());
        v.ui.materialTypeComboBox->setCurrentIndex(ViewerGLWidget::Jet);
        QVERIFY(v.view().legendVisible() && v.ui.sliderMinZ->isEnabled() && v.ui.labelMaxZDepth->isEnabled());
        v.ui.sliderMinZ->setValue(20);
        v.ui.sliderMaxZ->setValue(70);
        // The sliders run from the box's far face (0) to its near face (100).
        const float top = v.store.boundingBoxMax.z(), e = top - v.store.boundingBoxMin.z();
        const float c = v.store.centerOfMass.z(), far = top - 0.2f * e, nearer = top - 0.7f * e;
        const ColorLegend &legend = v.view().colorLegend();
        QVERIFY(std::fabs(legend.topDepth() - far) < 1e-3f * c &&
                std::fabs(legend.bottomDepth() - nearer) < 1e-3f * c);
        QVERIFY(std::fabs(v.ui.labelMinZDepth->text().toDouble() - far) < 0.01 * e);
        QVERIFY(std::fabs(v.ui.labelMaxZDepth->text().toDouble() - nearer) < 0.01 * e);

        const QPoint centre(v.view().width() / 2, v.view().height() / 2);
        v.view().grabFramebuffer();
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, centre);
        QCOMPARE(v.view().picker().count(), 1);
        const QString said = v.ui.pickStatusLabel->text();
        QVERIFY2(said.contains(" units at pixel ("), qPrintable(said));
        v.ui.meshTypeComboBox->setCurrentIndex(ViewerGLWidget::Wireframe);
        v.ui.materialTypeComboBox->setCurrentIndex(ViewerGLWidget::Texture);
        QVERIFY(!v.view().legendVisible() && !v.ui.sliderMaxZ->isEnabled());
        QCOMPARE(v.view().picker().count(), 1);
        QCOMPARE(v.ui.pickStatusLabel->text(), said);
        v.ui.meshTypeComboBox->setCurrentIndex(ViewerGLWidget::Shaded);

        v.window.openFile(ptv);
        QCOMPARE(v.view().picker().count(), 0);
        QCOMPARE(v.ui.pickStatusLabel->text(), QString());
        QVERIFY(sequenceAdvances(v.view()));
        v.view().grabFramebuffer();
        QTest::mouseClick(&v.view(), Qt::LeftButton, Qt::ShiftModifier, centre);
        QCOMPARE(v.view().picker().count(), 1);
        const QPoint pixel = v.view().picker().pick(0).pixel;
        const std::optional<QVector3D> first = v.view().picker().pick(0).point;
        QVERIFY(first);
        QTRY_VERIFY(v.view().picker().pick(0).point != first);
        QCOMPARE(v.view().picker().pick(0).pixel, pixel);
        QCOMPARE(v.view().picker().pick(0).point, measuredPoint(v.store, pixel.x(), pixel.y()));
        v.window.openFile(xyzm);
        QCOMPARE(v.view().picker().count(), 0);
    }

    void fileInformationWindow() {
        Viewer v;
        QTableWidget &table = v.window.fileInformationWindow();
        v.window.openFile(pt);
        QCOMPARE(table.windowTitle(), QStringLiteral("About scan.pt"));
        QCOMPARE(table.rowCount(), 10);
        const QStringList labels = {
            "File name:",         "File path:", "Frame width:", "Frame height:", "Frame size:",
            "Valid coordinates:", "X Range:",   "Y Range:",     "Z Range:",      "Center of Mass:"};
        for (int r = 0; r < 10; ++r)
            QCOMPARE(table.item(r, 0)->text(), labels.at(r));
        QCOMPARE(table.item(0, 1)->text(), QStringLiteral("scan.pt"));
        QCOMPARE(table.item(1, 1)->text(), pt);
        QCOMPARE(table.item(2, 1)->text(), QString::number(kWidth));
        QCOMPARE(table.item(3, 1)->text(), QString::number(kHeight));
        QCOMPARE(table.item(4, 1)->text(), QString::number(kWidth * kHeight));
        // Every measured pixel of a capture triangulates to a point.
        const auto measured = std::count_if(v.store.mask.get(), v.store.mask.get() + v.store.pixelCount,
                                            [](uint8_t b) { return b != 0; });
        QCOMPARE(table.item(5, 1)->text(), QString::number(measured));
        QVERIFY(measured > 0);
        QVERIFY(QRegularExpression(QStringLiteral(R"(^\[ \S+ , \S+ \]$)"))
                    .match(table.item(8, 1)->text())
                    .hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral(R"(^\[ \S+ , \S+, \S+ \]$)"))
                    .match(table.item(9, 1)->text())
                    .hasMatch());

        v.ui.actionViewFileInfo->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QVERIFY(table.isWindow());
        QCOMPARE(table.size(), QSize(600, 400));

        // The table has the keyboard while it is the active window, although the view holds it
        // whenever the main window is active.
        QVERIFY(hasKeyboardFocus(&table));
        table.setCurrentCell(0, 0);
        QTest::keyClick(table.windowHandle(), Qt::Key_Down);
        QTest::keyClick(table.windowHandle(), Qt::Key_Down);
        QCOMPARE(table.currentRow(), 2);

        // A new frame replaces all ten rows; a sequence leaves them alone.
        v.window.openFile(xyzm);
        QCOMPARE(table.rowCount(), 10);
        QCOMPARE(table.windowTitle(), QStringLiteral("About scan.xyzm"));
        QCOMPARE(table.item(0, 1)->text(), QStringLiteral("scan.xyzm"));
        v.window.openFile(ptv);
        QCOMPARE(table.windowTitle(), QStringLiteral("About scan.xyzm"));
        QCOMPARE(table.item(0, 1)->text(), QStringLiteral("scan.xyzm"));

        // Closing the main window leaves the file information open.
        v.window.close();
        QVERIFY(table.isVisible());
        table.close();
    }

    void sequenceKeys_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("expected"); // -1: whatever playback shows
        QTest::addColumn<bool>("playingAfter");
        QTest::newRow("Right steps forward and pauses") << 2 << true << int(Qt::Key_Right) << 0 << 3 << false;
        QTest::newRow("Left steps back") << 2 << false << int(Qt::Key_Left) << 0 << 1 << false;
        QTest::newRow("Left stops at frame 0") << 0 << false << int(Qt::Key_Left) << 0 << 0 << false;
        QTest::newRow("Right stops at the last frame") << 5 << false << int(Qt::Key_Right) << 0 << 5 << false;
        QTest::newRow("Right held repeats") << 0 << false << int(Qt::Key_Right) << 2 << 3 << false;
        QTest::newRow("Left held repeats while playing") << 4 << true << int(Qt::Key_Left) << 3 << 0 << false;
        QTest::newRow("Home keeps playing") << 3 << true << int(Qt::Key_Home) << 0 << 0 << true;
        QTest::newRow("End keeps a pause") << 0 << false << int(Qt::Key_End) << 0 << 5 << false;
        QTest::newRow("Space plays") << 4 << false << int(Qt::Key_Space) << 0 << -1 << true;
        QTest::newRow("Space pauses") << 4 << true << int(Qt::Key_Space) << 0 << 4 << false;
    }

    void sequenceKeys() {
        QFETCH(int, start);
        QFETCH(bool, playing);
        QFETCH(int, key);
        QFETCH(int, repeats);
        QFETCH(int, expected);
        QFETCH(bool, playingAfter);
        Viewer v;
        QVERIFY(QTest::qWaitForWindowActive(&v.window));
        v.window.openFile(twoFps);
        if (!playing)
            v.ui.actionReplay->trigger();
        auto *slider = v.window.findChild<QSlider *>(QStringLiteral("timelineSlider"));
        QVERIFY(slider && slider->isVisible());
        slider->setValue(start);
        QCOMPARE(v.view().ptvFrameCounter(), start);

        QWindow *window = v.window.windowHandle();
        QSignalSpy shownFrames(&v.view(), &ViewerGLWidget::ptvFrameShown);
        QTest::keyPress(window, Qt::Key(key));
        for (int r = 0; r < repeats; ++r)
            QTest::simulateEvent(window, true, key, Qt::NoModifier, QString(), true);
        QTest::keyRelease(window, Qt::Key(key));

        QCOMPARE(v.view().isPlaying(), playingAfter);
        QCOMPARE(v.ui.actionReplay->isChecked(), playingAfter);
        if (expected < 0 && shownFrames.isEmpty())
            QVERIFY(shownFrames.wait(2000));
        const int shown = v.view().ptvFrameCounter();
        if (expected >= 0)
            QCOMPARE(shown, expected);
        QVERIFY(shownPixels(v.store) == decodedPtvFrame(twoFps, shown));
        QCOMPARE(slider->value(), shown);
        QCOMPARE(v.window.findChild<QLabel *>(QStringLiteral("frameLabel"))->text(),
                 QStringLiteral("Frame %1 / 6").arg(shown));
        // Paused, File Info tells the facts of the frame on screen and its number.
        if (!playingAfter) {
            QTableWidget &table = v.window.fileInformationWindow();
            QCOMPARE(table.rowCount(), 11);
            QCOMPARE(table.item(10, 1)->text(), QStringLiteral("%1 / 6").arg(shown));
            const auto rows = fileInfoRows(v.store);
            for (int r = 0; r < rows.size(); ++r)
                QCOMPARE(table.item(r, 1)->text(), rows.at(r).second);
        }
    }

    void timelineFollowsPlayback() {
        Viewer v;
        QVERIFY(QTest::qWaitForWindowActive(&v.window));
        auto *slider = v.window.findChild<QSlider *>(QStringLiteral("timelineSlider"));
        auto label = [&](const char *name) {
            return v.window.findChild<QLabel *>(QString::fromLatin1(name))->text();
        };
        QVERIFY(slider);
        v.window.openFile(pt);
        QVERIFY(!slider->isVisible());
        QVERIFY(!v.ui.actionStepForward->isEnabled() && !v.ui.actionLastFrame->isEnabled());

        // The timeline reaches every frame of the file and follows playback.
        v.window.openFile(ptv);
        QVERIFY(slider->isVisible());
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 5);
        QVERIFY(!v.window.findChild<QLabel *>(QStringLiteral("shortLabel"))->isVisible());
        for (int tick = 0; tick < 3; ++tick) {
            QVERIFY(sequenceAdvances(v.view()));
            QCOMPARE(slider->value(), v.view().ptvFrameCounter());
            QCOMPARE(label("frameLabel"), QStringLiteral("Frame %1 / 6").arg(v.view().ptvFrameCounter()));
        }
        // Once a second the readout tells the pace shown against the file's rate.
        QTRY_VERIFY_WITH_TIMEOUT(QRegularExpression(QStringLiteral(R"(^\d+\.\d fps shown / 30 fps$)"))
                                     .match(label("paceLabel"))
                                     .hasMatch(),
                                 3000);

        // A click shows that frame at once and playing goes on from it; paused stays paused.
        QSignalSpy shownFrames(&v.view(), &ViewerGLWidget::ptvFrameShown);
        const int middle = slider->height() / 2;
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(1, middle));
        QCOMPARE(v.view().ptvFrameCounter(), 0);
        QVERIFY(shownPixels(v.store) == decodedPtvFrame(ptv, 0));
        QTRY_VERIFY(shownFrames.count() >= 2);
        QCOMPARE(shownFrames.at(1).at(0).toInt(), 1);
        QVERIFY(v.view().isPlaying());

        v.ui.actionReplay->trigger();
        QCOMPARE(label("paceLabel"), QStringLiteral("30 fps"));
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 2, middle));
        QCOMPARE(v.view().ptvFrameCounter(), 5);
        QVERIFY(!v.view().isPlaying());
        QCOMPARE(label("frameLabel"), QStringLiteral("Frame 5 / 6"));
        QCOMPARE(label("timeLabel"), QStringLiteral("0.17 s / 0.20 s"));

        // Dragging shows each frame passed.
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(1, middle));
        QCOMPARE(v.view().ptvFrameCounter(), 0);
        QMouseEvent move(QEvent::MouseMove, QPoint(slider->width() / 2, middle), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QVERIFY(slider->value() > 0 && slider->value() < 5);
        QCOMPARE(v.view().ptvFrameCounter(), slider->value());
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, middle));
        QVERIFY(!v.view().isPlaying());

        // A file cut short says so beside the timeline while it is open.
        QByteArray bytes = readAll(ptv);
        const int frameBytes = (bytes.size() - 457) / 6;
        bytes.chop(frameBytes + frameBytes / 2);
        writeAll(path("cut.ptv"), bytes);
        v.window.openFile(path("cut.ptv"));
        QCOMPARE(slider->maximum(), 3);
        QCOMPARE(label("shortLabel"), QStringLiteral("4 of 6 frames complete"));
        QVERIFY(v.window.findChild<QLabel *>(QStringLiteral("shortLabel"))->isVisible());
    }

    void keysAndMouseWindow() {
        Viewer v;
        QVERIFY(!v.window.keysAndMouseWindow());
        v.ui.actionKeysAndMouse->trigger();
        KeysAndMouseWindow *help = v.window.keysAndMouseWindow();
        QVERIFY(help);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        QStringList listed;
        for (int r = 0; r < help->table().rowCount(); ++r)
            listed << help->table().item(r, 0)->text();
        // Every key of the window is listed, so a new shortcut cannot be left out.
        for (QAction *action : v.window.findChildren<QAction *>())
            if (!action->shortcut().isEmpty())
                QVERIFY2(listed.contains(action->shortcut().toString(QKeySequence::NativeText)),
                         qPrintable(action->text()));
        // The view's rows are listed, and every letter among them is one the view answers.
        for (const auto &row : ViewerGLWidget::keysAndMouse()) {
            QVERIFY(listed.contains(row.first));
            if (row.first.size() != 1)
                continue;
            QKeyEvent release(QEvent::KeyRelease, QKeySequence(row.first)[0], Qt::NoModifier);
            QApplication::sendEvent(&v.view(), &release);
            QVERIFY2(release.isAccepted(), qPrintable(row.first));
        }
        // Escape closes it, as any dialog. (A dialog counts as active while its parent is, so the
        // test waits for the keyboard itself.)
        QVERIFY(hasKeyboardFocus(help));
        QTest::keyClick(help->windowHandle(), Qt::Key_Escape);
        QVERIFY(!help->isVisible());
    }

    void dragAndDrop() {
        Viewer v;
        auto dragAccepted = [&](QMimeData &mime) {
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&v.window, &enter);
            return enter.isAccepted();
        };
        QMimeData two;
        two.setUrls({QUrl::fromLocalFile(pt), QUrl::fromLocalFile(xyzm)});
        QVERIFY(!dragAccepted(two));
        QMimeData upper;
        upper.setUrls({QUrl::fromLocalFile("/scans/WALK.PTV")});
        QVERIFY(dragAccepted(upper));
        QMimeData other;
        other.setUrls({QUrl::fromLocalFile(path("notes.txt"))});
        QVERIFY(!dragAccepted(other));
        QMimeData textOnly;
        textOnly.setText(pt);
        QVERIFY(!dragAccepted(textOnly));

        // A dropped file URL becomes its absolute local path, escapes decoded.
        auto dropOn = [&](QMimeData &mime) {
            QVERIFY(dragAccepted(mime));
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&v.window, &drop);
        };
        const QString spaced = path("my scan.pt");
        QVERIFY(QFile::copy(pt, spaced));
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(spaced)});
        dropOn(dropped);
        QCOMPARE(v.store.filePath, spaced);
        QCOMPARE(v.window.windowTitle(), QStringLiteral("my scan.pt | Pelnor Viewer"));

        // When the one URL is no local file, the dropped text is used, less its "file:///" or
        // "file:\\\" prefix; such paths start with a drive letter and are relative here.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("D:/scans")));
        QVERIFY(QFile::copy(xyzm, path("D:/scans/face.xyzm")));
        QVERIFY(QFile::copy(pt, path("D:\\scans\\back.pt")));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        QMimeData forward;
        forward.setUrls({QUrl(QStringLiteral("scanner://head/face.xyzm"))});
        forward.setText(QStringLiteral("file:///D:/scans/face.xyzm"));
        dropOn(forward);
        QCOMPARE(v.store.filePath, QStringLiteral("D:/scans/face.xyzm"));
        QCOMPARE(v.store.fileName, QStringLiteral("face.xyzm"));
        QCOMPARE(v.store.frameKind, int32_t(XyzmFrame));
        QMimeData backward;
        backward.setUrls({QUrl(QStringLiteral("scanner://head/back.pt"))});
        backward.setText(QStringLiteral("file:\\\\\\D:\\scans\\back.pt"));
        dropOn(backward);
        QDir::setCurrent(previous);
        QCOMPARE(v.store.filePath, QStringLiteral("D:\\scans\\back.pt"));
        QCOMPARE(v.store.fileName, QStringLiteral("back.pt"));
        QCOMPARE(v.store.frameKind, int32_t(PtFrame));
    }

    void styleAndIcons() {
        QFile sheet(QStringLiteral(":qdarkstyle/style.qss"));
        QVERIFY(sheet.open(QFile::ReadOnly | QFile::Text));
        const QString text = QString::fromUtf8(sheet.readAll());
        // Every image the sheet names is in the collection and decodes.
        const QRegularExpression url(QStringLiteral(R"(url\((:/qss_icons/rc/[^)]+)\))"));
        QSet<QString> referenced;
        for (auto it = url.globalMatch(text); it.hasNext();)
            referenced.insert(it.next().captured(1));
        QVERIFY(referenced.size() >= 30);
        for (const QString &image : referenced)
            QVERIFY2(!QImage(image).isNull(), qPrintable(image));
        QCOMPARE(QDir(QStringLiteral(":/qss_icons/rc")).entryList().size(), 39);

        // The sheet really styles the window: charcoal panels.
        Viewer v;
        const QImage dock = v.ui.dockWidgetContents->grab().toImage();
        QCOMPARE(QColor(dock.pixel(dock.width() - 3, dock.height() - 3)), QColor(0x31, 0x36, 0x3b));
        // A checked tool button is filled with the accent colour.
        QWidget *rotate = v.ui.mainToolBar->widgetForAction(v.ui.actionSetControlMethodRotate);
        const QImage button = rotate->grab().toImage();
        QCOMPARE(QColor(button.pixel(button.width() / 2, button.height() - 4)), QColor(0xf9, 0xaf, 0x55));

        // The white icons carry the light stroke; the window icon keeps the current colour.
        for (const char *name :
             {"file", "home", "image", "info", "layers", "move", "play", "refresh-cw", "save", "search"}) {
            const QString icon = QStringLiteral(":/icons/%1-white.svg").arg(QLatin1String(name));
            QVERIFY2(readAll(icon).contains("stroke=\"#f9f9f9\""), qPrintable(icon));
            QVERIFY2(readAll(icon).contains(QByteArray("feather feather-") + name), qPrintable(icon));
        }
        QVERIFY(readAll(QStringLiteral(":/icons/box.svg")).contains("stroke=\"currentColor\""));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
