#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/measured_point.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
#include "test_support.h"
#include "view/viewer_gl_widget.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QColor kBackground(20, 20, 20);

// A coordinate frame of w x h pixels spaced `step` apart around the origin, every pixel valid,
// at the depth that depth(x, y) gives.
template <typename Depth>
void setCoordinateFrame(ScanFrameStore &store, int w, int h, float step, Depth depth) {
    resizeStore(store, w, h);
    store.frameKind = XyzmFrame;
    for (int i = 0; i < w * h; ++i) {
        const float x = (i % w - (w - 1) / 2.0f) * step, y = (i / w - (h - 1) / 2.0f) * step;
        const float point[] = {x, y, depth(x, y)};
        std::copy(point, point + 3, &store.xyz[3 * i]);
    }
}

bool near(QColor a, QColor b, int tolerance = 1) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Where the view draws a model point, with the matrices of its last paint.
QPoint project(const ViewerGLWidget &view, const QVector3D &point) {
    const QVector3D ndc = (view.projectionMatrix() * view.viewMatrix() * view.modelMatrix()).map(point);
    return QPoint(int(std::floor((ndc.x() + 1.0f) / 2.0f * view.width())),
                  int(std::floor((1.0f - ndc.y()) / 2.0f * view.height())));
}

// Whether the pixel lies well inside smooth surface: it and its neighbours within `r` measured,
// none more than `dz` deeper or nearer. A pixel's worth of rasterising there shows the same surface.
bool insideSmoothSurface(const SyntheticCapture &capture, int u, int v, int r, float dz) {
    const float z = capture.xyz[3 * size_t(v * capture.width + u) + 2];
    for (int dv = -r; dv <= r; ++dv)
        for (int du = -r; du <= r; ++du) {
            const size_t j = size_t((v + dv) * capture.width + u + du);
            if (!capture.measured[j] || std::fabs(capture.xyz[3 * j + 2] - z) >= dz)
                return false;
        }
    return true;
}

// Writes the capture as a file with the given ending and loads it into the store, as opening it does.
bool loadCapture(ScanFrameStore &store, const SyntheticCapture &capture, const QString &ending) {
    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath("c." + ending);
    store.frameKind = ending == "pt" ? PtFrame : XyzmFrame;
    if (ending == "pt")
        return writeCapturePt(path, capture, &error) && loadPtFile(store, path, &error);
    return writeCaptureXyzm(path, capture, &error) && loadXYZMFile(store, path, &error, nullptr);
}

} // namespace

class TestView : public QObject {
    Q_OBJECT

    ScanFrameStore store;
    ViewerGLWidget *view = nullptr;

    QImage draw() {
        view->update();
        return view->grabFramebuffer();
    }
    // Mirrors or un-mirrors the model and waits for the animation to end.
    bool mirrorTo(bool mirrored) {
        view->setShouldMirrorGeo(mirrored);
        return QTest::qWaitFor([this] { return !view->isAnimatingMirror(); }, 10000);
    }

    bool releaseKey(int key) {
        QKeyEvent event(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        return event.isAccepted();
    }

  private slots:
    void initTestCase() {
        Q_INIT_RESOURCE(icons_and_shaders);
        view = new ViewerGLWidget(store);
        view->resize(300, 300);
        view->changeLightIntensity(0);
        // A frame loaded before the view has a context is uploaded when it gets one.
        setCoordinateFrame(store, 20, 20, 5.0f, [](float, float) { return 500.0f; });
        view->loadFrameGeometry();
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        QVERIFY2(view->glProblem().isEmpty(), qPrintable(view->glProblem()));
    }

    void solidFrameOnTheBackground() {
        const QImage image = draw();
        QCOMPARE(image.size(), QSize(300, 300));
        QString seen; // the four corners and the middle
        for (QPoint p : {QPoint(1, 1), QPoint(298, 1), QPoint(1, 298), QPoint(298, 298), QPoint(150, 150)})
            seen += image.pixelColor(p).name();
        QCOMPARE(seen, kBackground.name().repeated(4) + QColor(255, 220, 165).name());

        // A flat first frame gives a depth range without width: the ramp's middle, not garbage.
        QCOMPARE(view->colorZrange().x(), view->colorZrange().y());
        view->changeMaterialType(ViewerGLWidget::Depth);
        QVERIFY(near(draw().pixelColor(150, 150), QColor(128, 128, 128), 1));
        view->changeMaterialType(ViewerGLWidget::Solid);
        // Sliders on a box without depth push the other end exactly 1.0 away.
        view->changeMaxZ(30);
        view->changeMinZ(80);
        QCOMPARE(view->colorZrange().toVector2D(), QVector2D(499, 500));
        view->changeMaxZ(10);
        QCOMPARE(view->colorZrange().toVector2D(), QVector2D(500, 501));

        // Light scales the colour: at full intensity the lit surface saturates.
        view->changeLightIntensity(100);
        QVERIFY(view->lightIntensity() == 10.0f &&
                near(draw().pixelColor(150, 150), QColor(255, 255, 255), 1));
        view->changeLightIntensity(0);

        // Arrays beyond one GL buffer are refused, never allocated at a wrapped size.
        QVERIFY(glBufferBytes(53687091, 40) == 2147483640 && glBufferBytes(53687092, 40) == -1 &&
                glBufferBytes(uint64_t(1) << 32, 4) == -1);

        // Two finite picks far apart on either side of the origin are a finite distance apart.
        ScanFrameStore far;
        resizeStore(far, 2, 1);
        std::fill(far.xyz.get(), far.xyz.get() + 6, 0.0f);
        far.xyz[0] = -3e38f, far.xyz[3] = 3e38f;
        SurfacePicker picks;
        picks.add(QPoint(0, 0), far), picks.add(QPoint(1, 0), far);
        QVERIFY2(picks.distance() == 2.0 * double(3e38f) && !picks.text(0).contains("inf"),
                 qPrintable(picks.text(0)));

        // An empty frame draws only the background.
        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(0));
        view->loadFrameGeometry();
        QVERIFY(near(draw().pixelColor(150, 150), kBackground, 0));
    }

    // The legend tells the depth of a colour: the surface drawn at a depth has the colour the
    // legend shows at that depth, for every ramp, and beyond the sliders' ends the colour of the end
    // (also mirrored, where the drawn depth counts); Solid and Texture draw no legend at all.
    void legendMatchesTheSurface_data() {
        QTest::addColumn<int>("material");
        QTest::addColumn<bool>("phase");
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("depth") << int(ViewerGLWidget::Depth) << false << false;
        QTest::newRow("jet") << int(ViewerGLWidget::Jet) << false << false;
        QTest::newRow("magma") << int(ViewerGLWidget::Magma) << false << false;
        QTest::newRow("viridis") << int(ViewerGLWidget::Viridis) << false << false;
        QTest::newRow("solid") << int(ViewerGLWidget::Solid) << false << false;
        QTest::newRow("texture") << int(ViewerGLWidget::Texture) << false << false;
        QTest::newRow("depth mirrored") << int(ViewerGLWidget::Depth) << false << true;
        QTest::newRow("depth of a phase frame") << int(ViewerGLWidget::Depth) << true << false;
    }
    void legendMatchesTheSurface() {
        QFETCH(int, material);
        QFETCH(bool, phase);
        QFETCH(bool, mirrored);
        SyntheticCapture capture;
        QVector<QVector3D> points;
        if (phase) {
            capture = VirtualScanner(96, 72).capture(0.0);
            QVERIFY(loadCapture(store, capture, "pt"));
        } else {
            // Depth grows from 450 on the left to 550 on the right, rounded to whole units per column.
            setCoordinateFrame(store, 60, 40, 4.0f,
                               [](float x, float) { return 500.0f + std::round(x / 1.2f); });
            for (float x = -100.0f; x <= 100.0f; x += 12.5f)
                points << QVector3D(x, 0.0f, 500.0f + std::round(x / 1.2f));
        }
        const QVector3D rangeBefore = view->colorZrange();
        view->loadFrameGeometry();
        if (!phase)
            QCOMPARE(view->colorZrange(), rangeBefore); // only the first frame of the run sets it
        // The ends inside the coordinate frame's depths, so both sides run past them.
        view->changeMaxZ(phase ? 100 : 80);
        view->changeMinZ(phase ? 0 : 20);
        view->changeMaterialType(material);
        QVERIFY(mirrorTo(mirrored));
        const QImage plain = draw();
        view->setLegendShown(true);
        const QImage withLegend = draw();
        view->setLegendShown(false);
        view->changeMaterialType(ViewerGLWidget::Solid);
        QVERIFY(mirrorTo(false));
        const bool byDepth = material != ViewerGLWidget::Solid && material != ViewerGLWidget::Texture;
        QCOMPARE(withLegend == plain, !byDepth);
        if (!byDepth)
            return;
        const ColorLegend &legend = view->colorLegend();
        // The legend changes its own corner and nothing else.
        const QRect ramp = ColorLegend::rampRect(view->size());
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (withLegend.pixel(x, y) != plain.pixel(x, y))
                    QVERIFY2(x > ramp.left() - 120 && y < ramp.bottom() + 30,
                             qPrintable(QString("%1,%2").arg(x).arg(y)));
        // A phase frame is triangulated on the GPU: each point the processor triangulates, well
        // inside the surface, is drawn where the processor puts it.
        if (phase) {
            store.computeCoordinatesFromPhase();
            for (int v = 2; v < 70; v += 3)
                for (int u = 2; u < 94; u += 3) {
                    const float *p = &store.xyz[3 * size_t(v * 96 + u)];
                    if (insideSmoothSurface(capture, u, v, 2, 8.0f) &&
                        std::fabs(p[2] - store.centerOfMass.z()) <= 190.0f)
                        points << QVector3D(p[0], p[1], p[2]);
                }
        }
        QVERIFY(points.size() >= (phase ? 100 : 17));
        for (QVector3D p : points) {
            if (mirrored)
                p.setZ(2.0f * store.centerOfMass.z() - p.z());
            const QColor surface = plain.pixelColor(project(*view, p));
            // The legend within a unit of the depth: half a pixel of rasterising on a steep ramp.
            auto rowAt = [&](float z) {
                return legend.rowOf(std::clamp(z, legend.bottomDepth(), legend.topDepth()), view->size());
            };
            QColor shown;
            for (int row = rowAt(p.z() + 1.0f); row <= rowAt(p.z() - 1.0f); ++row)
                if (shown = withLegend.pixelColor(ramp.center().x(), row); near(surface, shown, 10))
                    break;
            QVERIFY2(
                near(surface, shown, 10),
                qPrintable(
                    QString("depth %1: surface %2, legend %3").arg(p.z()).arg(surface.name(), shown.name())));
        }
        // Whatever time passes, or seems to, the mirror blend stays between its two ends.
        for (qint64 ms : {Q_INT64_C(-100000), Q_INT64_C(-1), Q_INT64_C(335), Q_INT64_C(1) << 40}) {
            QVERIFY(mirrorBlend(true, ms) >= 0.0f && mirrorBlend(true, ms) <= 1.0f);
            QCOMPARE(mirrorBlend(true, ms) + mirrorBlend(false, ms), 1.0f);
        }
    }

    // Wire and points leave background between the lines of a coarse mesh; a spike far off the
    // surface is no point of it.
    void stylesAndSpikes() {
        setCoordinateFrame(store, 8, 8, 20.0f,
                           [](float x, float y) { return 500.0f + 0.1f * x * y / 20.0f; });
        view->loadFrameGeometry();
        auto covered = [](const QImage &image) {
            const QRgb *p = reinterpret_cast<const QRgb *>(image.constBits());
            return int(std::count_if(p, p + image.width() * image.height(), [](QRgb c) {
                return (c & 0xffffff) != (kBackground.rgb() & 0xffffff);
            }));
        };
        // W, P and S switch to wire, points and shaded; C colours solid, D steps through the ramps round
        // to the first, T shows the texture. Each says so to the combo boxes; the slots do not echo back,
        // and other keys go on to the parent.
        // Every letter the keys-and-mouse list names is one the view answers (before the spies: the keys
        // below set every style again).
        for (const auto &row : ViewerGLWidget::keysAndMouse())
            QVERIFY2(row.first.size() != 1 || releaseKey(QKeySequence(row.first)[0]), qPrintable(row.first));
        QSignalSpy meshes(view, &ViewerGLWidget::meshTypeWasChanged);
        QSignalSpy materials(view, &ViewerGLWidget::materialTypeWasChanged);
        int covers[3];
        for (int k : {0, 1, 2}) {
            releaseKey(QList<int>{Qt::Key_W, Qt::Key_P, Qt::Key_S}[k]);
            covers[k] = covered(draw());
        }
        QVERIFY2(covers[2] > 5 * covers[0] && covers[0] > covers[1] && covers[1] >= 49,
                 qPrintable(QString("%1 %2 %3").arg(covers[0]).arg(covers[1]).arg(covers[2])));
        for (char key : QByteArray("CDDDDDT"))
            releaseKey(key);
        view->changeMeshType(ViewerGLWidget::PointCloud);
        view->changeMaterialType(ViewerGLWidget::Solid);
        QString seen;
        for (const QSignalSpy *spy : {&meshes, &materials})
            for (const auto &args : *spy)
                seen += QString::number(args.at(0).toInt());
        QCOMPARE(seen, QStringLiteral("120" /* W P S, then C D D D D D T: */ "0234521"));
        QVERIFY(!releaseKey(Qt::Key_Q));
        for (float spike : {500.0f, 2500.0f}) {
            setCoordinateFrame(store, 5, 5, 50.0f,
                               [spike](float x, float y) { return x == 0 && y == 0 ? spike : 500.0f; });
            view->loadFrameGeometry();
            const QImage image = draw();
            const QPoint centre = project(*view, QVector3D(0, 0, spike));
            bool drawn = false; // anything within a pixel of where the spike would be
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    drawn |= image.pixelColor(centre + QPoint(dx, dy)) != kBackground;
            QCOMPARE(drawn, spike == 500.0f);
        }
        view->changeMeshType(ViewerGLWidget::Shaded);
    }

    // Shift + left click reports the point measured at the pixel under the cursor, a second one the
    // distance between the two; a click beside the surface picks nothing and keeps what stands.
    void picksReportTheMeasuredPoint_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<float>("turn");
        QTest::addColumn<int>("style");
        QTest::newRow("phase") << "pt" << false << 0.0f << int(ViewerGLWidget::Shaded);
        QTest::newRow("coordinates") << "xyzm" << false << 0.0f << int(ViewerGLWidget::Shaded);
        QTest::newRow("phase mirrored and turned") << "pt" << true << 25.0f << int(ViewerGLWidget::Shaded);
        QTest::newRow("coordinates turned, points")
            << "xyzm" << false << -20.0f << int(ViewerGLWidget::PointCloud);
        QTest::newRow("phase wireframe") << "pt" << false << 10.0f << int(ViewerGLWidget::Wireframe);
    }
    void picksReportTheMeasuredPoint() {
        QFETCH(QString, ending);
        QFETCH(bool, mirrored);
        QFETCH(float, turn);
        QFETCH(int, style);
        const SyntheticCapture capture = VirtualScanner(96, 72).capture(0.0);
        QVERIFY(loadCapture(store, capture, ending));
        view->loadFrameGeometry();
        view->clearPicks();
        view->resetModelRotation();
        QVERIFY(view->percentageMirrored() == 0.0f || mirrorTo(false)); // left so by a failed row
        view->rotateModel(turn, turn, 0);
        view->changeMeshType(style);
        QVERIFY(!mirrored || mirrorTo(true));
        draw();
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

        // The background: nothing picked, said so, the measurement stands.
        QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(2, 2));
        QVERIFY(view->picker().count() == 2 && nothing.count() == 1 &&
                nothing.last().at(0).toString().startsWith("Nothing picked"));
        // A third pick starts again; Shift + right click clears and leaves the model where it was.
        const QVector3D rotation = view->rotation();
        click(targets[0]);
        QCOMPARE(view->picker().count(), 1);
        QTest::mouseClick(view, Qt::RightButton, Qt::ShiftModifier, QPoint(150, 150));
        QVERIFY(view->picker().count() == 0 && texts.last().at(0).toString().isEmpty() &&
                view->rotation() == rotation);
        QVERIFY(!mirrored || mirrorTo(false));
        view->resetModelRotation();
        view->changeMeshType(ViewerGLWidget::Shaded);
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
        QCOMPARE(view->rotation(), QVector3D(0, 0, 0));
        view->rotateModel(0, -10, 0);
        drag(Qt::LeftButton, QPoint(0, 10), QPoint(960, 10));
        QCOMPARE(view->rotation().y(), 350.0f);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(0, 40)); // dragging down turns about x the negative way
        QCOMPARE(view->rotation().x(), -15.0f);
        drag(Qt::RightButton, QPoint(0, 0), QPoint(8, 30)); // right: horizontal turns about z only
        QCOMPARE(view->rotation(), QVector3D(-15, 350, 3));
        QVERIFY(view->cursor().shape() == Qt::OpenHandCursor && clicks.count() == 4);

        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Translate);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(100, -10));
        QCOMPARE(view->translation(), QVector3D(-33.0f, 3.3f, 0));
        drag(Qt::RightButton, QPoint(0, 0), QPoint(100, -10));
        QCOMPARE(view->translation(), QVector3D(-66.0f, 6.6f, 0));
        drag(Qt::LeftButton | Qt::RightButton, QPoint(0, 0), QPoint(10, 0)); // both buttons: twice as far
        QVERIFY(std::fabs(view->translation().x() - (-72.6f)) < 1e-4f);

        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Zoom);
        drag(Qt::LeftButton, QPoint(0, 0), QPoint(50, 10));
        QCOMPARE(view->translation(), QVector3D(0, 0, -6.7f));
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        QCOMPARE(view->translation(), QVector3D(0, 0, -6.7f));
        view->resetModelRotation();
        view->setControlMethod(ViewerGLWidget::Rotate);
    }

    void playsSequences() {
        QTemporaryDir dir;
        QString error;
        const QString path = dir.filePath("walk.ptv");
        QVERIFY(writeSampleSequence(path, 48, 36, 5, 100.0f, &error));
        QVERIFY2(view->openPTVFile(path, &error), qPrintable(error));
        QVERIFY(view->ptvInterval() == 10 && view->isPlaying());
        view->stopPTVPlayback();
        view->stopPTVPlayback(); // a second stop closes nothing

        // A seek outside the file changes nothing (seeks inside it, paused and playing: the window's
        // sequence keys and timeline).
        const QByteArray onScreen = shownPixels(store);
        for (int outside : {-1, 5})
            QVERIFY(!view->seekPtvFrame(outside, &error) && shownPixels(store) == onScreen);

        // Another sequence opened with the counter past its first frames is framed on its own surface.
        QVERIFY(view->seekPtvFrame(4, &error));
        QVERIFY(writeSampleSequence(dir.filePath("aside.ptv"), 48, 36, 7, 100.0f, &error,
                                    VirtualScanner::OffCentre));
        QVERIFY2(view->openPTVFile(dir.filePath("aside.ptv"), &error), qPrintable(error));
        view->stopPTVPlayback();
        const QVector3D framed = store.centerOfMass;
        store.computePhaseStatistics();
        QCOMPARE(framed, store.centerOfMass);

        // A rate far below a frame a second waits the longest interval the timer takes.
        QVERIFY(writeSampleSequence(dir.filePath("still.ptv"), 40, 30, 3, 1e-30f, &error));
        QVERIFY2(view->openPTVFile(dir.filePath("still.ptv"), &error), qPrintable(error));
        QCOMPARE(view->ptvInterval(), std::numeric_limits<int>::max());
        view->stopPTVPlayback();
    }

    // The view holds the keyboard while its window has the focus and lets go otherwise (the window
    // tests type into dialogs), also with no focus window at all: a native dialog or another
    // application has the keys.
    void keyboardGrabFollowsTheFocus() {
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QCOMPARE(QWidget::keyboardGrabber(), view);
        view->hide();
        QTRY_VERIFY(!QGuiApplication::focusWindow());
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        view->show();
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view));
        QCOMPARE(QWidget::keyboardGrabber(), view);
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
