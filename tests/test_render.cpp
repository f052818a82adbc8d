// The renderer drawing into a headless context: no display, no window, no widget.
#include "data/frame_mesh.h"
#include "drawn_frames.h"
#include "render/color_legend.h"
#include "render/detail_level.h"
#include "render/frame_renderer.h"
#include "render/headless_context.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

const QSize kSize(300, 300);
const QColor kSolid(255, 220, 165);

} // namespace

class TestRender : public QObject {
    Q_OBJECT

    HeadlessContext gl;
    FrameRenderer renderer;
    ScanFrameStore store;
    FrameMesh mesh;
    MeshSettings settings;
    ViewState state;

    // Builds the mesh of the frame in the store, places the camera as the view does and uploads.
    void present() {
        store.frameKind == XyzmFrame ? store.computeCoordinateStatistics() : store.computePhaseStatistics();
        buildMesh(store, settings, mesh);
        frameOn(store, state);
        QVERIFY(renderer.upload(mesh, QString(), nullptr));
    }
    QImage draw() {
        renderer.draw(store, state, kSize);
        QString error;
        if (!gl.checkDrawing(&error))
            qWarning("%s", qPrintable(error));
        return renderer.readImage(kSize, false);
    }

  private slots:
    void initTestCase() {
        QString error;
        QVERIFY2(gl.create(kSize, &error) && renderer.initialize(&error), qPrintable(error));
        state.lightIntensity = 0.0f;
    }

    // A library that loads but lacks EGL's functions is told by the one missing, and asking again
    // tells it again instead of calling through what was never found.
    void eglLibraryWithoutEgl() {
        HeadlessContext other("libc.so.6");
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString error;
            QVERIFY(!other.create(kSize, &error));
            QVERIFY2(error.contains("libc.so.6") && error.contains("eglGetProcAddress"), qPrintable(error));
        }
    }

    void drawsTheFrameOnTheBackground() {
        setCoordinateFrame(store, 20, 20, 5.0f, [](float, float) { return 500.0f; });
        present();
        state.colorZrange = QVector3D(500, 500, 0);
        const QImage image = draw();
        QCOMPARE(image.size(), kSize);
        QString seen; // the four corners and the middle
        for (QPoint p : {QPoint(1, 1), QPoint(298, 1), QPoint(1, 298), QPoint(298, 298), QPoint(150, 150)})
            seen += image.pixelColor(p).name();
        QCOMPARE(seen, kBackground.name().repeated(4) + kSolid.name());

        // A depth range without width (a flat first frame) gives the ramp's middle, not garbage.
        state.materialType = 2;
        QVERIFY(near(draw().pixelColor(150, 150), QColor(128, 128, 128), 1));
        state.materialType = 0;
        // Light scales the colour: at full intensity the lit surface saturates.
        state.lightIntensity = lightForSlider(100);
        QVERIFY(near(draw().pixelColor(150, 150), QColor(255, 255, 255), 1));
        state.lightIntensity = 0.0f;
        // A clear background has no colour at all; the surface stays opaque.
        state.transparentBackground = true;
        renderer.draw(store, state, kSize);
        const QImage clear = renderer.readImage(kSize, true);
        QVERIFY(qAlpha(clear.pixel(1, 1)) == 0 && clear.pixelColor(150, 150) == kSolid);
        state.transparentBackground = false;

        // Arrays beyond one GL buffer are refused, never allocated at a wrapped size.
        QVERIFY(glBufferBytes(53687091, 40) == 2147483640 && glBufferBytes(53687092, 40) == -1 &&
                glBufferBytes(uint64_t(1) << 32, 4) == -1);
        // An empty frame draws only the background.
        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(0));
        present();
        QVERIFY(near(draw().pixelColor(150, 150), kBackground, 0));
    }

    // The surface drawn at a depth has the colour of the ramp at that depth, for every ramp, beyond
    // the range's ends the colour of the end, also mirrored (where the drawn depth counts) and for a
    // phase frame triangulated on the GPU where the processor puts its points.
    void rampsColourByDepth_data() {
        QTest::addColumn<int>("material");
        QTest::addColumn<bool>("phase");
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("depth") << 2 << false << false;
        QTest::newRow("jet") << 3 << false << false;
        QTest::newRow("magma") << 4 << false << false;
        QTest::newRow("viridis") << 5 << false << false;
        QTest::newRow("depth mirrored") << 2 << false << true;
        QTest::newRow("jet of a phase frame") << 3 << true << false;
    }
    void rampsColourByDepth() {
        QFETCH(int, material);
        QFETCH(bool, phase);
        QFETCH(bool, mirrored);
        const SyntheticCapture capture = VirtualScanner(96, 72).capture(0.0);
        QVector<QVector3D> points;
        if (phase) {
            QVERIFY(loadCapture(store, capture, "pt"));
        } else {
            // Depth grows from 450 on the left to 550 on the right, rounded to whole units per column.
            setCoordinateFrame(store, 60, 40, 4.0f,
                               [](float x, float) { return 500.0f + std::round(x / 1.2f); });
            for (float x = -100.0f; x <= 100.0f; x += 12.5f)
                points << QVector3D(x, 0.0f, 500.0f + std::round(x / 1.2f));
        }
        present();
        // The ends inside the frame's depths, so both sides run past them.
        const float low = store.boundingBoxMin.z(), e = store.boundingBoxSize.z();
        state.colorZrange = QVector3D(low + 0.2f * e, low + 0.8f * e, 0);
        state.materialType = material;
        state.mirrorBlend = mirrored ? 1.0f : 0.0f;
        const QImage image = draw();
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
        state.mirrorBlend = 0.0f;
        state.materialType = 0;
        QVERIFY(points.size() >= (phase ? 100 : 17));
        ColorLegend legend;
        legend.setRange(state.colorZrange.x(), state.colorZrange.y());
        for (QVector3D p : points) {
            if (mirrored)
                p.setZ(2.0f * store.centerOfMass.z() - p.z());
            const QColor surface = image.pixelColor(project(renderer.matrices(), kSize, p));
            // Within a unit of the depth: half a pixel of rasterising on a steep ramp.
            bool matched = false;
            for (float dz = -1.0f; dz <= 1.0f && !matched; dz += 0.125f)
                matched = near(surface, ColorLegend::rampColor(material, legend.depthValue(p.z() + dz)), 10);
            QVERIFY2(matched,
                     qPrintable(QString("depth %1: surface %2, ramp %3")
                                    .arg(p.z())
                                    .arg(surface.name(),
                                         ColorLegend::rampColor(material, legend.depthValue(p.z())).name())));
        }
    }

    // Wire and points leave background between the lines of a coarse mesh; a spike far off the
    // surface is no point of the cloud.
    void stylesAndSpikes() {
        setCoordinateFrame(store, 8, 8, 20.0f,
                           [](float x, float y) { return 500.0f + 0.1f * x * y / 20.0f; });
        present();
        auto covered = [](const QImage &image) {
            const QRgb *p = reinterpret_cast<const QRgb *>(image.constBits());
            return int(std::count_if(p, p + image.width() * image.height(), [](QRgb c) {
                return (c & 0xffffff) != (kBackground.rgb() & 0xffffff);
            }));
        };
        int covers[3];
        for (int style : {0, 1, 2}) {
            state.meshType = style;
            covers[style] = covered(draw());
        }
        QVERIFY2(covers[0] > 5 * covers[1] && covers[1] > covers[2] && covers[2] >= 49,
                 qPrintable(QString("%1 %2 %3").arg(covers[0]).arg(covers[1]).arg(covers[2])));
        for (float spike : {500.0f, 2500.0f}) {
            setCoordinateFrame(store, 5, 5, 50.0f,
                               [spike](float x, float y) { return x == 0 && y == 0 ? spike : 500.0f; });
            present();
            const QImage image = draw();
            const QPoint centre = project(renderer.matrices(), kSize, QVector3D(0, 0, spike));
            bool drawn = false; // anything within a pixel of where the spike would be
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    drawn |= image.pixelColor(centre + QPoint(dx, dy)) != kBackground;
            QCOMPARE(drawn, spike == 500.0f);
        }
        state.meshType = 0;
        QString error;
        QVERIFY2(gl.checkDrawing(&error), qPrintable(error));
    }

    // Turned aside, the surface drawn without its depth jumps shows what lies behind where the
    // curtain from an object's rim to the wall stood (nothing was measured there: background), and
    // with them the curtain as before; for a finished frame and for a raw one triangulated on the GPU.
    void curtainsGoWithTheRule_data() {
        QTest::addColumn<bool>("raw");
        QTest::newRow("finished step") << false;
        QTest::newRow("raw capture") << true;
    }
    void curtainsGoWithTheRule() {
        QFETCH(bool, raw);
        if (raw)
            QVERIFY(loadCapture(store, VirtualScanner(160, 120).capture(0.0), "pt"));
        else // a square block 100 units in front of a wall
            setCoordinateFrame(store, 40, 40, 5.0f, [](float x, float y) {
                return std::fabs(x) < 40.0f && std::fabs(y) < 40.0f ? 700.0f : 800.0f;
            });
        state.rotation = QVector3D(0, 60, 0);
        present();
        const QImage off = draw();
        settings.hideDepthJumps = true;
        present();
        const QImage on = draw();
        settings.hideDepthJumps = false;
        state.rotation = QVector3D();
        int curtain = 0, elsewhere = 0;
        for (int y = 0; y < kSize.height(); ++y)
            for (int x = 0; x < kSize.width(); ++x)
                if (on.pixel(x, y) != off.pixel(x, y))
                    ++(on.pixelColor(x, y) == kBackground ? curtain : elsewhere);
        QVERIFY2(curtain > 500 && elsewhere <= curtain / 50,
                 qPrintable(QString("%1 %2").arg(curtain).arg(elsewhere)));
    }

    // A frame saved turned and shifted from its camera's coordinates is drawn as its capture is: the
    // eye on the camera's side, the rows upright, the light with the eye; at the same level of
    // detail.
    void movedFramesLookAsCaptured_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("finished") << "xyzm";
        QTest::newRow("raw") << "pt";
    }
    void movedFramesLookAsCaptured() {
        QFETCH(QString, ending);
        SyntheticCapture captures[2] = {VirtualScanner(480, 360).capture(0.0), captures[0]};
        QMatrix4x4 move;
        move.translate(40, -300, 900);
        move.rotate(90, 0, 1, 0);
        moveCapture(captures[1], move);
        state.lightIntensity = lightForSlider(13);
        QImage pictures[2];
        int strides[2];
        for (int k = 0; k < 2; ++k) {
            QVERIFY(loadCapture(store, captures[k], ending));
            present();
            pictures[k] = draw();
            strides[k] = DetailLevel::screenStride(store, state, QSize(100, 100));
        }
        state.lightIntensity = 0.0f;
        int surface = 0, differing = 0;
        for (int y = 0; y < kSize.height(); ++y)
            for (int x = 0; x < kSize.width(); ++x) {
                surface += pictures[0].pixelColor(x, y) != kBackground;
                differing += !near(pictures[0].pixelColor(x, y), pictures[1].pixelColor(x, y), 24);
            }
        QVERIFY2(surface > 20000 && differing < surface / 50 && strides[0] > 1 && strides[1] == strides[0],
                 qPrintable(QString("%1 of %2 differ; strides %3, %4")
                                .arg(differing)
                                .arg(surface)
                                .arg(strides[0])
                                .arg(strides[1])));
    }

    // The stride the screen needs: about one sample a picture pixel at the frame's centre, a power
    // of two up to 8, and every pixel for a picture as large as the frame.
    void detailFollowsTheScreen_data() {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("stride");
        QTest::newRow("megapixel in a window") << QSize(1280, 1024) << QSize(800, 600) << 2;
        QTest::newRow("thumbnail") << QSize(1280, 1024) << QSize(256, 256) << 4;
        QTest::newRow("tiny") << QSize(2048, 1536) << QSize(200, 150) << 8;
        QTest::newRow("small frame") << QSize(640, 480) << QSize(800, 600) << 1;
        QTest::newRow("frame's own size") << QSize(1280, 1024) << QSize(1280, 1024) << 1;
    }
    void detailFollowsTheScreen() {
        QFETCH(QSize, frame);
        QFETCH(QSize, picture);
        QFETCH(int, stride);
        ScanFrameStore big;
        setCoordinateFrame(big, frame.width(), frame.height(), 1.0f, [](float, float) { return 1000.0f; });
        big.computeCoordinateStatistics();
        ViewState view;
        frameOn(big, view);
        QCOMPARE(DetailLevel::screenStride(big, view, picture), stride);
    }

    // Still pictures use every pixel; moving ones the screen's stride, coarser after pictures that
    // took longer than the budget and finer after a run of fast ones, never after a single picture.
    void detailFollowsTheClock() {
        DetailLevel level;
        QString seen;
        const struct {
            bool moving;
            double ms;
        } pictures[] = {{false, 500}, {true, 10},  {true, 100}, {true, 100}, {true, 100}, {true, 100},
                        {true, 100},  {true, 100}, {true, 5},   {true, 5},   {true, 5},   {true, 5},
                        {true, 5},    {true, 5},   {true, 30},  {false, 5}};
        for (const auto &p : pictures)
            seen += QString::number(level.next(2, p.moving, p.ms, 40.0));
        QCOMPARE(seen, QStringLiteral("1224488888888441"));
        level.setAutomatic(false);
        QCOMPARE(level.next(4, true, 500, 40), 1);
    }

    // A picture drawn from every second or fourth pixel shows the surface as the full one does but
    // along its rims: where a surface ends or passes in front of another, its edge can stand a
    // stride's worth of frame pixels off, and the cells along it (whose last samples have no normal
    // of their own, as at full detail) are a stride wide. Nowhere else may the shading differ: a
    // wrong normal from samples a stride apart would show all over the surface.
    void coarserPicturesDifferOnlyAtRims_data() {
        QTest::addColumn<int>("stride");
        QTest::newRow("every second pixel") << 2;
        QTest::newRow("every fourth pixel") << 4;
    }
    void coarserPicturesDifferOnlyAtRims() {
        QFETCH(int, stride);
        QVERIFY(loadCapture(store, VirtualScanner(320, 240).capture(0.3), "pt"));
        state.lightIntensity = lightForSlider(13);
        present();
        const QImage full = draw();
        settings.stride = stride;
        buildPhaseMesh(store, settings, mesh);
        settings.stride = 1;
        QVERIFY(renderer.upload(mesh, QString(), nullptr));
        const QImage coarse = draw();
        state.lightIntensity = 0.0f;
        auto apart = [](QColor a, QColor b) {
            return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                             std::abs(a.blue() - b.blue())});
        };
        // Frame pixels land about 0.8 picture pixels apart here: two strides' worth.
        const int reach = 2 * stride;
        int differing = 0, awayFromRims = 0;
        for (int y = reach; y < kSize.height() - reach; ++y)
            for (int x = reach; x < kSize.width() - reach; ++x) {
                if (apart(full.pixelColor(x, y), coarse.pixelColor(x, y)) <= 24)
                    continue;
                ++differing;
                bool rim = false;
                for (int dy = -reach; dy <= reach && !rim; ++dy)
                    for (int dx = -reach; dx <= reach && !rim; ++dx)
                        rim = apart(full.pixelColor(x, y), full.pixelColor(x + dx, y + dy)) > 24;
                awayFromRims += !rim;
            }
        QVERIFY2(differing > 0 && awayFromRims == 0,
                 qPrintable(QString("%1 differ, %2 away from rims").arg(differing).arg(awayFromRims)));
    }

    // The fragments are cut by the processor's own test: every point drawn with a region is one it
    // keeps, and where the whole frame's front surface is kept the picture and its depths are the whole
    // frame's, elsewhere something farther or nothing; for a raw capture triangulated on the GPU in a
    // turned box, and a finished one keeping the outside. Only points within the depth buffer's
    // rounding of a face may go either way.
    void regionCutsAsTheProcessorDoes_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("inside");
        QTest::newRow("raw capture, inside a turned box") << "pt" << true;
        QTest::newRow("finished capture, outside") << "xyzm" << false;
    }
    void regionCutsAsTheProcessorDoes() {
        QFETCH(QString, ending);
        QFETCH(bool, inside);
        QVERIFY(loadCapture(store, VirtualScanner(320, 240).capture(0.3), ending));
        state.lightIntensity = lightForSlider(13);
        state.rotation = QVector3D(20, 30, 0);
        present();
        const int w = kSize.width(), h = kSize.height();
        std::vector<float> wholeDepths(size_t(w * h)), cutDepths(size_t(w * h));
        const QImage whole = draw();
        renderer.readDepths(QRect(QPoint(0, 0), kSize), h, wholeDepths.data());
        const Region region{QVector3D(0, 0, 690), QVector3D(300, 260, 140), QVector3D(10, -20, 30), inside};
        state.region = region;
        const QImage cut = draw();
        renderer.readDepths(QRect(QPoint(0, 0), kSize), h, cutDepths.data());
        state = ViewState();
        state.lightIntensity = 0.0f;

        const ViewMatrices &m = renderer.matrices();
        const QMatrix4x4 toModel = (m.projection * m.view * m.model).inverted(), toBox = region.worldToBox();
        const RegionTest test(region);
        // The point drawn at pixel i, and whether it lies within the depth buffer's rounding of a face.
        const auto drawn = [&](int i, float depth) {
            const QVector4D p =
                toModel * QVector4D(2.0f * (i % w + 0.5f) / w - 1.0f, 2.0f * (i / w + 0.5f) / h - 1.0f,
                                    2.0f * depth - 1.0f, 1.0f);
            return p.toVector3D() / p.w();
        };
        const auto nearFace = [&](const QVector3D &p) {
            const QVector3D b = toBox.map(p);
            return std::min({std::fabs(std::fabs(b.x()) - 1), std::fabs(std::fabs(b.y()) - 1),
                             std::fabs(std::fabs(b.z()) - 1)}) < 0.02f;
        };
        int kept = 0, cutAway = 0;
        for (int i = 0; i < w * h; ++i) { // GL's rows, bottom up
            const QPoint pixel(i % w, h - 1 - i / w);
            const QVector3D shown = drawn(i, cutDepths[size_t(i)]), front = drawn(i, wholeDepths[size_t(i)]);
            QVERIFY(cutDepths[size_t(i)] == 1.0f || nearFace(shown) || test.keeps(shown));
            if (wholeDepths[size_t(i)] == 1.0f || nearFace(front))
                continue;
            const bool same =
                cutDepths[size_t(i)] == wholeDepths[size_t(i)] && cut.pixel(pixel) == whole.pixel(pixel);
            QVERIFY(test.keeps(front) ? same : cutDepths[size_t(i)] > wholeDepths[size_t(i)]);
            ++(test.keeps(front) ? kept : cutAway);
        }
        QVERIFY2(kept > 5000 && cutAway > 5000, qPrintable(QString("%1 %2").arg(kept).arg(cutAway)));
    }

    void cleanupTestCase() { renderer.release(); }
};

QTEST_GUILESS_MAIN(TestRender)
#include "test_render.moc"
