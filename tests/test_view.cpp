#include "drawn_frames.h"
#include "geometry/depth_distribution.h"
#include "geometry/measured_point.h"
#include "run_program.h"
#include "view/viewer_gl_widget.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cmath>

namespace {

// Where the view draws a model point, with the matrices of its last paint.
QPoint project(const ViewerGLWidget &view, const QVector3D &point) {
    return project(ViewMatrices{view.matrices().projection, view.matrices().view, view.matrices().model},
                   view.size(), point);
}

} // namespace

class TestView : public QObject {
    Q_OBJECT

    ScanFrameStore store;
    ViewerGLWidget *view = nullptr;

    // Shows a copy of the frame in the store with its statistics, as opening its file does.
    void show() {
        store.frameKind == XyzmFrame ? store.computeCoordinateStatistics() : store.computePhaseStatistics();
        view->showFrame(std::make_shared<const ScanFrameStore>(store.duplicate()), true);
    }

    QImage draw() {
        view->update();
        return view->grabFramebuffer();
    }
    // Mirrors or un-mirrors the model and waits for the animation to end.
    bool mirrorTo(bool mirrored) {
        view->setShouldMirrorGeo(mirrored);
        return QTest::qWaitFor([this] { return !view->isAnimatingMirror(); }, 10000);
    }

    // A key typed in the view's window, as the window system delivers it: shortcuts first.
    void type(int key) { QTest::keyClick(view->windowHandle(), Qt::Key(key)); }

  private slots:
    void initTestCase() {
        view = new ViewerGLWidget;
        view->resize(300, 300);
        view->changeLightIntensity(0);
        // A frame loaded before the view has a context is uploaded when it gets one.
        setCoordinateFrame(store, 20, 20, 5.0f, [](float, float) { return 500.0f; });
        show();
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QVERIFY2(view->glProblem().isEmpty(), qPrintable(view->glProblem()));
    }

    // The depth sliders run from the far face of the frame's box (0) to its near face (100); on a box
    // without depth they keep the ends exactly 1.0 apart.
    void slidersSetTheDepthRange() {
        setCoordinateFrame(store, 20, 20, 5.0f, [](float, float) { return 500.0f; });
        show();
        QCOMPARE(view->viewState().colorZrange.x(),
                 view->viewState().colorZrange.y()); // the flat first frame's range
        view->changeMaxZ(30);
        view->changeMinZ(80);
        QCOMPARE(view->viewState().colorZrange.toVector2D(), QVector2D(499, 500));
        view->changeMaxZ(10);
        QCOMPARE(view->viewState().colorZrange.toVector2D(), QVector2D(500, 501));
    }

    // Two finite picks far apart on either side of the origin are a finite distance apart.
    void farPicksMeasureFinitely() {
        ScanFrameStore far;
        resizeStore(far, 2, 1);
        std::fill(far.xyz.get(), far.xyz.get() + 6, 0.0f);
        far.xyz[0] = -3e38f, far.xyz[3] = 3e38f;
        SurfacePicker picks;
        picks.add(QPoint(0, 0), far), picks.add(QPoint(1, 0), far);
        QVERIFY2(picks.distance() == 2.0 * double(3e38f) && !picks.text(0).contains("inf"),
                 qPrintable(picks.text(0)));
    }

    // The view draws what the tool draws without a display: the same frame, size and settings give
    // the same picture (both through Mesa's llvmpipe here; at most one level apart per channel).
    void drawsWhatTheToolDraws_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("material");
        QTest::addColumn<int>("light");
        // Eye-dome lighting of the style asked for in both, or 0 for each one's own: the points'.
        QTest::addColumn<double>("eyeDome");
        QTest::newRow("shaded, jet, lit")
            << QStringList{"--color", "jet"} << int(Shaded) << int(Jet) << 13 << 0.0;
        QTest::newRow("wireframe, texture") << QStringList{"--style", "wireframe", "--color", "texture"}
                                            << int(Wireframe) << int(Texture) << 13 << 0.0;
        QTest::newRow("points, solid, their eye-dome lighting")
            << QStringList{"--style", "points", "--light", "40"} << int(PointCloud) << int(Solid) << 40
            << 0.0;
        QTest::newRow("shaded, eye-dome lighting")
            << QStringList{"--edl", "2.5", "--light", "0"} << int(Shaded) << int(Solid) << 0 << 2.5;
        // The colours fitted to the frame in the viewer: the tool's fit, and the measured range given.
        QTest::newRow("magma, fitted") << QStringList{"--color", "magma", "--depth-range", "fit"}
                                       << int(Shaded) << int(Magma) << 13 << 0.0;
        QTest::newRow("depth, fitted range given")
            << QStringList{"--color", "depth", "--depth-range", "@fitted"} << int(Shaded) << int(Depth) << 13
            << 0.0;
        // A view copied in the viewer (its text on the clipboard) and saved: turned, moved, mirrored.
        QTest::newRow("jet, fitted, a view copied")
            << QStringList{"--color", "jet", "--depth-range", "fit", "--view", "@view"} << int(Shaded)
            << int(Jet) << 13 << 0.0;
    }
    void drawsWhatTheToolDraws() {
        QFETCH(QStringList, options);
        QFETCH(int, style);
        QFETCH(int, material);
        QFETCH(int, light);
        QFETCH(double, eyeDome);
        QTemporaryDir dir;
        const QString scan = dir.filePath("aside.pt"), picture = dir.filePath("render.png");
        QString error;
        QVERIFY(writeSampleFile(scan, 160, 120, &error, VirtualScanner::OffCentre));
        QVERIFY(loadPtFile(store, scan, &error));
        store.frameKind = PtFrame;
        DepthDistribution depths;
        depths.add(store);
        float nearDepth = 0.0f, farDepth = 0.0f;
        QVERIFY(depths.fittedRange(&nearDepth, &farDepth));
        options.replaceInStrings(
            "@fitted", QString("%1,%2").arg(double(nearDepth), 0, 'g', 9).arg(double(farDepth), 0, 'g', 9));
        CameraView camera;
        if (options.contains("@view")) {
            camera.turn = QVector3D(25.0f, -40.0f, 15.0f);
            camera.panX = 4.0f, camera.panY = -3.0f, camera.zoom = 30.0f, camera.mirrored = true;
            writeAll(dir.filePath("copied.json"), camera.toText());
            options.replaceInStrings("@view", dir.filePath("copied.json"));
        }
        QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
        headless.remove("DISPLAY");
        const Run rendered =
            run(PELNOR_BIN, QStringList{"render", scan, picture, "--size", "300x300"} + options, headless);
        QVERIFY2(rendered.status == 0, qPrintable(rendered.err));
        show();
        view->resetModelRotation();
        // The tool colours by the first frame's depth range: the sliders at their ends give it here.
        view->changeMaxZ(100);
        view->changeMinZ(0);
        QVERIFY(!options.contains("--depth-range") || view->fitColorRangeToFrame());
        view->changeMeshType(style);
        view->changeMaterialType(material);
        view->changeLightIntensity(light);
        if (eyeDome > 0.0)
            view->setEyeDome(1u << style, eyeDome, EyeDome::kDefaultRadius);
        view->applyCameraView(camera);
        const QImage drawn = draw().convertToFormat(QImage::Format_RGB888);
        view->applyCameraView(CameraView());
        view->setEyeDome(kDefaultEyeDomeStyles, EyeDome::kDefaultStrength, EyeDome::kDefaultRadius);
        view->changeLightIntensity(0);
        view->changeMeshType(Shaded);
        view->changeMaterialType(Solid);
        const QImage tool = QImage(picture).convertToFormat(QImage::Format_RGB888);
        QCOMPARE(tool.size(), drawn.size());
        int most = 0, differing = 0;
        for (int y = 0; y < tool.height(); ++y)
            for (int x = 0; x < 3 * tool.width(); ++x) {
                const int d = std::abs(tool.constScanLine(y)[x] - drawn.constScanLine(y)[x]);
                most = std::max(most, d);
                differing += d > 0;
            }
        QVERIFY2(most <= 1, qPrintable(QString("%1 channels differ, by up to %2").arg(differing).arg(most)));
        QImage empty(drawn.size(), drawn.format());
        empty.fill(kBackground);
        QVERIFY(drawn != empty); // something was drawn at all
    }

    // The legend over the picture tells the depth of a colour: at the row of a depth it shows the
    // colour the ramp gives that depth (which is the surface's: test_render), in its own corner only,
    // and only for the depth colourings. Laid over a surface the eye-dome lighting darkens, it keeps
    // its colours: it is painted after the lighting.
    void legendShowsTheRamp_data() {
        QTest::addColumn<int>("material");
        QTest::addColumn<bool>("eyeDome");
        QTest::newRow("depth") << int(Depth) << false;
        QTest::newRow("jet") << int(Jet) << false;
        QTest::newRow("magma") << int(Magma) << false;
        QTest::newRow("viridis") << int(Viridis) << false;
        QTest::newRow("solid") << int(Solid) << false;
        QTest::newRow("texture") << int(Texture) << false;
        QTest::newRow("viridis over eye-dome lighting") << int(Viridis) << true;
    }
    void legendShowsTheRamp() {
        QFETCH(int, material);
        QFETCH(bool, eyeDome);
        setCoordinateFrame(store, 60, 40, 4.0f, [](float x, float) { return 500.0f + std::round(x / 1.2f); });
        view->setDepthScale(DepthScale::FirstFrame);
        const QVector3D rangeBefore = view->viewState().colorZrange;
        show();
        QCOMPARE(view->viewState().colorZrange, rangeBefore); // the first frame's scale stays
        view->changeMaxZ(80);
        view->changeMinZ(20);
        view->changeMaterialType(material);
        const QRect ramp = ColorLegend::rampRect(view->size());
        if (eyeDome) {
            // Turned upright, the frame spans the view's width, under the legend.
            view->rotateModel(0, 0, 90);
            const QImage unlit = draw();
            view->setEyeDome(1u << Shaded, 5.0, EyeDome::kDefaultRadius);
            QVERIFY(draw().copy(ramp) != unlit.copy(ramp));
        }
        const QImage plain = draw();
        view->setLegendShown(true);
        const QImage withLegend = draw();
        view->setLegendShown(false);
        view->setEyeDome(kDefaultEyeDomeStyles, EyeDome::kDefaultStrength, EyeDome::kDefaultRadius);
        view->resetModelRotation();
        view->changeMaterialType(Solid);
        const bool byDepth = material != Solid && material != Texture;
        QCOMPARE(withLegend == plain, !byDepth);
        if (!byDepth)
            return;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (withLegend.pixel(x, y) != plain.pixel(x, y))
                    QVERIFY2(x > ramp.left() - 120 && y < ramp.bottom() + 30,
                             qPrintable(QString("%1,%2").arg(x).arg(y)));
        const ColorLegend &legend = view->colorLegend();
        for (double depth = legend.bottomDepth(); depth <= legend.topDepth(); depth += 5.0) {
            const QColor shown = withLegend.pixelColor(ramp.center().x(), legend.rowOf(depth, view->size()));
            QVERIFY2(near(shown, ColorLegend::rampColor(material, legend.depthValue(depth)), 12),
                     qPrintable(QString("depth %1: legend %2").arg(depth).arg(shown.name())));
        }
        // Whatever time passes, or seems to, the mirror blend stays between its two ends.
        for (qint64 ms : {Q_INT64_C(-100000), Q_INT64_C(-1), Q_INT64_C(335), Q_INT64_C(1) << 40}) {
            QVERIFY(mirrorBlend(true, ms) >= 0.0f && mirrorBlend(true, ms) <= 1.0f);
            QCOMPARE(mirrorBlend(true, ms) + mirrorBlend(false, ms), 1.0f);
        }
    }

    // W, P and S switch to wire, points and shaded; C colours solid, D steps through the ramps round to
    // the first, T shows the texture. Each says so to the combo boxes; the slots do not echo back, and
    // other keys go on to the parent. Every letter the keys-and-mouse list names is one the view answers.
    void keysSwitchStyles() {
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QSignalSpy meshes(view, &ViewerGLWidget::meshTypeWasChanged);
        QSignalSpy materials(view, &ViewerGLWidget::materialTypeWasChanged);
        for (const auto &row : ViewerGLWidget::keysAndMouse()) {
            const int before = meshes.count() + materials.count();
            if (row.first.size() == 1)
                type(QKeySequence(row.first)[0]);
            QVERIFY2(row.first.size() != 1 || meshes.count() + materials.count() == before + 1,
                     qPrintable(row.first));
        }
        meshes.clear();
        materials.clear();
        for (char key : QByteArray("WPSCDDDDDT"))
            type(key);
        view->changeMeshType(PointCloud);
        view->changeMaterialType(Solid);
        QString seen;
        for (const QSignalSpy *spy : {&meshes, &materials})
            for (const auto &args : *spy)
                seen += QString::number(args.at(0).toInt());
        QCOMPARE(seen, QStringLiteral("120" /* W P S, then C D D D D D T: */ "0234521"));
        QKeyEvent other(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier);
        QApplication::sendEvent(view, &other);
        QVERIFY(!other.isAccepted());
        view->changeMeshType(Shaded);
        QCOMPARE(view->viewState().meshType, int(Shaded));
    }

    // Shift + left click reports the point measured at the pixel under the cursor, a second one the
    // distance between the two; a click beside the surface picks nothing and keeps what stands.
    void picksReportTheMeasuredPoint_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<float>("turn");
        QTest::addColumn<int>("style");
        QTest::newRow("phase") << "pt" << false << 0.0f << int(Shaded);
        QTest::newRow("coordinates") << "xyzm" << false << 0.0f << int(Shaded);
        QTest::newRow("phase mirrored and turned") << "pt" << true << 25.0f << int(Shaded);
        QTest::newRow("coordinates turned, points") << "xyzm" << false << -20.0f << int(PointCloud);
        QTest::newRow("phase wireframe") << "pt" << false << 10.0f << int(Wireframe);
    }
    void picksReportTheMeasuredPoint() {
        QFETCH(QString, ending);
        QFETCH(bool, mirrored);
        QFETCH(float, turn);
        QFETCH(int, style);
        const SyntheticCapture capture = VirtualScanner(96, 72).capture(0.0);
        QVERIFY(loadCapture(store, capture, ending));
        show();
        view->clearPicks();
        view->resetModelRotation();
        QVERIFY(view->viewState().mirrorBlend == 0.0f || mirrorTo(false)); // left so by a failed row
        view->rotateModel(turn, turn, 0);
        view->changeMeshType(style);
        QVERIFY(!mirrored || mirrorTo(true));
        const QImage unmarked = draw();
        QSignalSpy texts(view, &ViewerGLWidget::pickTextChanged);
        QSignalSpy nothing(view, &ViewerGLWidget::statusMessageRequested);
        const float c = store.centerOfMass.z();
        auto truth = [&](QPoint pixel) {
            const float *p = &capture.xyz[3 * size_t(pixel.y() * capture.width + pixel.x())];
            return QVector3D(p[0], p[1], p[2]);
        };
        // Where the true point is drawn, mirrored about the centre's depth when the model is.
        auto click = [&](QPoint pixel) {
            QVector3D drawn = truth(pixel);
            if (mirrored)
                drawn.setZ(2.0f * c - drawn.z());
            QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, project(*view, drawn));
        };
        // The fronts of two shapes, well inside smooth surface: nothing hides them when turned.
        QVector<QPoint> targets;
        for (int k = 0; k < 2; ++k) {
            QPoint best(-1, -1);
            for (int v = 18; v < 54; ++v)
                for (int u = 24; u < 72; ++u)
                    if ((k == 0 || (QPoint(u, v) - targets[0]).manhattanLength() >= 30) &&
                        insideSmoothSurface(capture, u, v, 3, 10.0f) &&
                        (best.x() < 0 || truth(QPoint(u, v)).z() < truth(best).z()))
                        best = QPoint(u, v);
            targets << best;
        }
        for (int k = 0; k < 2; ++k) {
            click(targets[k]);
            QCOMPARE(view->picker().count(), k + 1);
            const SurfacePicker::Pick &pick = view->picker().pick(k);
            QVERIFY2((pick.pixel - targets[k]).manhattanLength() <= 1 && pick.point &&
                         (*pick.point - truth(pick.pixel)).length() < 1e-3f * truth(pick.pixel).z(),
                     qPrintable(QString("picked %1,%2").arg(pick.pixel.x()).arg(pick.pixel.y())));
        }
        const double expected =
            double((truth(view->picker().pick(1).pixel) - truth(view->picker().pick(0).pixel)).length());
        QVERIFY(std::fabs(view->picker().distance() - expected) < 1e-3 * c);
        QVERIFY2(texts.count() == 2 && texts.last().at(0).toString().startsWith("Distance "),
                 qPrintable(texts.last().at(0).toString()));
        QVERIFY(draw() != unmarked); // the marks and the measuring line over the surface

        // The background: nothing picked, said so, the measurement stands.
        QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(2, 2));
        QVERIFY(view->picker().count() == 2 && nothing.count() == 1 &&
                nothing.last().at(0).toString().startsWith("Nothing picked"));
        // A third pick starts again; Shift + right click clears and leaves the model where it was.
        const QVector3D rotation = view->viewState().rotation;
        click(targets[0]);
        QCOMPARE(view->picker().count(), 1);
        QTest::mouseClick(view, Qt::RightButton, Qt::ShiftModifier, QPoint(150, 150));
        QVERIFY(view->picker().count() == 0 && texts.last().at(0).toString().isEmpty() &&
                view->viewState().rotation == rotation);
        QVERIFY(!mirrored || mirrorTo(false));
        view->resetModelRotation();
        view->changeMeshType(Shaded);
    }

    // Turning a frame much larger than the view draws it from fewer pixels while the mouse moves and
    // from every pixel once it rests; a pick made while coarse reads the surface drawn from every
    // pixel, as one made at rest does. Set to full detail, the view never goes coarser.
    void detailWhileMoving() {
        setCoordinateFrame(store, 960, 720, 1.0f,
                           [](float x, float y) { return 1000.0f + (x * x + y * y) / 2000.0f; });
        show();
        view->resetModelRotation();
        draw();
        auto turn = [this] {
            QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 150));
            QMouseEvent move(QEvent::MouseMove, QPoint(110, 150), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view, &move);
            QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(110, 150));
        };
        auto pickCentre = [this] {
            view->clearPicks();
            QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(150, 150));
            return view->picker().count() == 1 ? view->picker().pick(0).pixel : QPoint(-1, -1);
        };
        // Coarser still where pictures take longer than a drag allows (a slow or busy machine).
        const QPoint atRest = pickCentre();
        turn();
        QVERIFY(view->detailStride() >= 2);
        QTRY_COMPARE(view->detailStride(), 1);
        turn();
        view->rotateModel(0.0f, -7.5f, 0.0f); // back where the first pick was made, still coarse
        QVERIFY(view->detailStride() >= 2);
        QVERIFY(atRest.x() >= 0 && pickCentre() == atRest);
        view->setAutomaticDetail(false);
        turn();
        QCOMPARE(view->detailStride(), 1);
        view->setAutomaticDetail(true);
        view->clearPicks();
        view->resetModelRotation();
    }

    void mouseTurnsPansAndZooms() {
        auto drag = [this](Qt::MouseButtons buttons, QPoint from, QPoint to) {
            const Qt::MouseButton first = (buttons & Qt::LeftButton) ? Qt::LeftButton : Qt::RightButton;
            QMouseEvent events[] = {{QEvent::MouseButtonPress, from, first, buttons, Qt::NoModifier},
                                    {QEvent::MouseMove, to, Qt::NoButton, buttons, Qt::NoModifier},
                                    {QEvent::MouseButtonRelease, to, first, Qt::NoButton, Qt::NoModifier}};
            for (QMouseEvent &event : events)
                QApplication::sendEvent(view, &event);
        };
        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Rotate);
        QSignalSpy clicks(view, &ViewerGLWidget::clicked);
        drag(Qt::LeftButton, QPoint(0, 10), QPoint(960, 10)); // a full turn about y
        QCOMPARE(view->viewState().rotation, QVector3D(0, 0, 0));
        view->rotateModel(0, -10, 0);
        drag(Qt::LeftButton, QPoint(0, 10), QPoint(960, 10));
        QCOMPARE(view->viewState().rotation.y(), 350.0f);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(0, 40)); // dragging down turns about x the negative way
        QCOMPARE(view->viewState().rotation.x(), -15.0f);
        drag(Qt::RightButton, QPoint(0, 0), QPoint(8, 30)); // right: horizontal turns about z only
        QCOMPARE(view->viewState().rotation, QVector3D(-15, 350, 3));
        QVERIFY(view->cursor().shape() == Qt::OpenHandCursor && clicks.count() == 4);

        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Translate);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(100, -10));
        QCOMPARE(view->viewState().translation, QVector3D(-33.0f, 3.3f, 0));
        drag(Qt::RightButton, QPoint(0, 0), QPoint(100, -10));
        QCOMPARE(view->viewState().translation, QVector3D(-66.0f, 6.6f, 0));
        drag(Qt::LeftButton | Qt::RightButton, QPoint(0, 0), QPoint(10, 0)); // both buttons: twice as far
        QVERIFY(std::fabs(view->viewState().translation.x() - (-72.6f)) < 1e-4f);

        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Zoom);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(50, 10));
        QCOMPARE(view->viewState().translation, QVector3D(0, 0, -6.7f));
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        QCOMPARE(view->viewState().translation, QVector3D(0, 0, -6.7f));
        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Rotate);
    }

    void cleanupTestCase() { delete view; }
};

int main(int argc, char *argv[]) {
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(format);
    QApplication app(argc, argv);
    TestView test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_view.moc"
