#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/measured_point.h"
#include "sample/sample_files.h"
#include "sample/virtual_scanner.h"
#include "support/row_pool.h"
#include "test_support.h"

#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

bool finite(const QVector3D &p) {
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}

void setPoints(ScanFrameStore &store, std::initializer_list<QVector3D> points) {
    int i = 0;
    for (const QVector3D &p : points) {
        store.xyz[3 * i] = p.x(), store.xyz[3 * i + 1] = p.y(), store.xyz[3 * i + 2] = p.z();
        ++i;
    }
}

// Each pixel at (column, row, depth).
void setGrid(ScanFrameStore &store, float depth) {
    for (int i = 0; i < store.pixelCount; ++i) {
        store.xyz[3 * i] = float(i % store.width);
        store.xyz[3 * i + 1] = float(i / store.width);
        store.xyz[3 * i + 2] = depth;
    }
}

// Largest distance between a triangulated and a true point, relative to its depth.
double worstRelativeError(const ScanFrameStore &store, const SyntheticCapture &truth, int *compared) {
    double worst = 0;
    *compared = 0;
    for (int i = 0; i < store.pixelCount; ++i) {
        if (!truth.measured[size_t(i)])
            continue;
        const float *p = &store.xyz[3 * i];
        const float *t = &truth.xyz[3 * size_t(i)];
        const double d = std::sqrt(double(p[0] - t[0]) * (p[0] - t[0]) + double(p[1] - t[1]) * (p[1] - t[1]) +
                                   double(p[2] - t[2]) * (p[2] - t[2]));
        worst = std::max(worst, d / t[2]);
        ++*compared;
    }
    return worst;
}

} // namespace

class TestGeometry : public QObject {
    Q_OBJECT

  private slots:
    void calibrationSplitsTheProjection() {
        ScanFrameStore store;
        QCOMPARE(store.m_Ac, QMatrix3x3()); // identity until a capture sets it
        const double camera[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        store.setCameraProjection(camera);
        const float storage[9] = {1, 5, 9, 2, 6, 10, 3, 7, 11};
        QVERIFY(std::memcmp(store.m_Ac.constData(), storage, sizeof storage) == 0);
        QCOMPARE(store.m_Tc, QVector3D(4, 8, 12));

        const double tenth[12] = {0.1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        store.setProjectorProjection(tenth);
        QCOMPARE(store.m_Ap(0, 0), 0.1f);
        QCOMPARE(store.projectorProjection[0], 0.1);
        QCOMPARE(store.m_Tp, QVector3D());
    }

    void phaseToCoordinateSolvesTheProjection() {
        ScanFrameStore store;
        setSimpleCalibration(store);
        const QVector3D p = store.phaseToCoordinate(3, 10, 5);
        QVERIFY(qFuzzyCompare(p, QVector3D(60, 200, 20)));
        QVERIFY(!finite(store.phaseToCoordinate(3, 10, 10))); // phase equal to the row: singular

        // The point projects back to the pixel and phase it came from.
        const double camera[12] = {700, 0, 320, 0, 0, 700, 240, 0, 0, 0, 1, 0};
        const double projector[12] = {900, -50, 500, 4000, 30, 850, 400, -150000, 0.01, -0.2, 0.97, 60};
        store.setCameraProjection(camera);
        store.setProjectorProjection(projector);
        const QVector3D q = store.phaseToCoordinate(100, 300, 420.5f);
        auto project = [&q](const double *m, int row) {
            return (m[4 * row] * q.x() + m[4 * row + 1] * q.y() + m[4 * row + 2] * q.z() + m[4 * row + 3]) /
                   (m[8] * q.x() + m[9] * q.y() + m[10] * q.z() + m[11]);
        };
        QVERIFY(std::fabs(project(camera, 0) - 100) < 1e-3);
        QVERIFY(std::fabs(project(camera, 1) - 300) < 1e-3);
        QVERIFY(std::fabs(project(projector, 1) - 420.5) < 1e-3);

        QMatrix3x3 e;
        const float values[9] = {2, -1, 0.5f, 3, 4, -2, 1, 0, 7};
        std::memcpy(e.data(), values, sizeof values);
        const QMatrix3x3 product = ScanFrameStore::inverse3x3(e) * e;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::fabs(product(r, c) - (r == c ? 1.0f : 0.0f)) < 1e-6f);
    }

    void triangulateAveragedWindow() {
        ScanFrameStore store;
        setSimpleCalibration(store);
        std::fill(store.phase.get(), store.phase.get() + store.pixelCount, 1000.0f);
        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(1));
        // Rows 238 to 241 and columns 318 to 321 are the window of (320, 240).
        for (int v = 238; v <= 241; ++v)
            for (int u = 318; u <= 321; ++u)
                store.phase[v * 640 + u] = 10.0f + (v == 238 && u == 318 ? 5000.0f : 0.0f);
        store.mask[238 * 640 + 318] = 0;
        QCOMPARE(store.triangulateAveraged(320, 240), store.phaseToCoordinate(320, 240, 10));

        // At the corner the window is clipped to the frame instead of reading outside it.
        store.phase[0] = store.phase[1] = store.phase[640] = store.phase[641] = 30.0f;
        QCOMPARE(store.triangulateAveraged(0, 0), store.phaseToCoordinate(0, 0, 30));
        QCOMPARE(store.triangulateAveraged(639, 479), store.phaseToCoordinate(639, 479, 1000));

        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(0));
        QVERIFY(!finite(store.triangulateAveraged(320, 240)));
        store.computeCoordinatesFromPhase();
        QVERIFY(std::all_of(store.xyz.get(), store.xyz.get() + 3 * store.pixelCount,
                            [](float f) { return f == 0; }));
    }

    void syntheticCaptureTriangulatesBackToItsSurface() {
        QTemporaryDir dir;
        for (QSize size : {QSize(640, 480), QSize(333, 201)}) {
            const SyntheticCapture capture = VirtualScanner(size.width(), size.height()).capture(0.0);
            const QString path = dir.filePath("capture.pt");
            QString error;
            QVERIFY(writeCapturePt(path, capture, &error));
            ScanFrameStore store;
            QVERIFY(loadPtFile(store, path, &error));
            // The mosaic is zero exactly where nothing was measured.
            for (int i = 0; i < store.pixelCount; ++i)
                QCOMPARE(store.mask[i] != 0, capture.measured[size_t(i)] != 0);
            store.computeCoordinatesFromPhase();
            int compared = 0;
            const double worst = worstRelativeError(store, capture, &compared);
            QVERIFY2(compared > store.pixelCount / 3, "the scene should fill much of the frame");
            QVERIFY2(compared < store.pixelCount, "the scene should leave a void");
            QVERIFY2(worst < 1e-4, qPrintable(QString::number(worst)));
            for (int i = 0; i < store.pixelCount; ++i)
                if (!store.mask[i])
                    QVERIFY(store.xyz[3 * i] == 0 && store.xyz[3 * i + 1] == 0 && store.xyz[3 * i + 2] == 0);
        }
    }

    // The framing estimates of a phase frame follow the measured surface wherever it lies: the
    // depth box holds nearly all of it, and an object beside the axis or a frame with nothing
    // measured at the image centre is framed from a sample of the whole frame.
    void phaseStatisticsFrameTheSurface_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<QSize>("size");
        QTest::newRow("studio") << int(VirtualScanner::Studio) << QSize(640, 480);
        QTest::newRow("studio, odd size") << int(VirtualScanner::Studio) << QSize(333, 201);
        QTest::newRow("off centre") << int(VirtualScanner::OffCentre) << QSize(640, 480);
        QTest::newRow("hole at the centre") << int(VirtualScanner::CentreHole) << QSize(320, 240);
    }
    void phaseStatisticsFrameTheSurface() {
        QFETCH(int, scene);
        QFETCH(QSize, size);
        const SyntheticCapture capture =
            VirtualScanner(size.width(), size.height(), VirtualScanner::Scene(scene)).capture(0.0);
        QTemporaryDir dir;
        QString error;
        QVERIFY(writeCapturePt(dir.filePath("c.pt"), capture, &error));
        ScanFrameStore store;
        QVERIFY(loadPtFile(store, dir.filePath("c.pt"), &error));
        store.computePhaseStatistics();

        double centroid[3] = {0, 0, 0};
        int measured = 0, inside[3] = {0, 0, 0};
        for (size_t i = 0; i < capture.measured.size(); ++i) {
            if (!capture.measured[i])
                continue;
            ++measured;
            for (int a = 0; a < 3; ++a) {
                const float t = capture.xyz[3 * i + size_t(a)];
                centroid[a] += t;
                inside[a] += t >= store.boundingBoxMin[a] && t <= store.boundingBoxMax[a];
            }
        }
        for (double &c : centroid)
            c /= measured;
        const QString facts = QString("centre %1 %2 %3, box z %4 to %5, inside %6 %7 %8 of %9")
                                  .arg(store.centerOfMass.x())
                                  .arg(store.centerOfMass.y())
                                  .arg(store.centerOfMass.z())
                                  .arg(store.boundingBoxMin.z())
                                  .arg(store.boundingBoxMax.z())
                                  .arg(inside[0])
                                  .arg(inside[1])
                                  .arg(inside[2])
                                  .arg(measured);
        QVERIFY2(inside[2] >= 0.9 * measured, qPrintable(facts));
        QCOMPARE(store.boundingBoxSize, store.boundingBoxMax - store.boundingBoxMin);
        if (scene == VirtualScanner::Studio) {
            // Both centre windows measured: the centre is the surface seen there.
            const size_t centre = size_t(size.height() / 2 * size.width() + size.width() / 2);
            QVERIFY2(std::fabs(store.centerOfMass.z() - capture.xyz[3 * centre + 2]) < 5.0f,
                     qPrintable(facts));
            QCOMPARE(store.boundingBoxMin.x(), -store.boundingBoxMax.x());
        } else {
            const QVector3D truth{float(centroid[0]), float(centroid[1]), float(centroid[2])};
            QVERIFY2((store.centerOfMass - truth).length() < 0.03f * truth.z(), qPrintable(facts));
            QVERIFY2(inside[0] >= 0.9 * measured && inside[1] >= 0.9 * measured, qPrintable(facts));
        }
    }

    // The file information facts: every measured pixel, triangulated, whatever the thread count.
    void surfaceFactsOfACapture() {
        const SyntheticCapture capture = VirtualScanner(200, 150, VirtualScanner::OffCentre).capture(0.0);
        QTemporaryDir dir;
        QString error;
        QVERIFY(writeCapturePt(dir.filePath("c.pt"), capture, &error));
        ScanFrameStore store;
        QVERIFY(loadPtFile(store, dir.filePath("c.pt"), &error));
        store.phase[0] = NAN; // measured, but no point: not counted
        store.mask[0] = 1;
        const int threads = RowPool::instance().threadCount();
        RowPool::instance().setThreadCount(4);
        const SurfaceFacts facts = store.measureSurface();
        RowPool::instance().setThreadCount(1);
        const SurfaceFacts single = store.measureSurface();
        RowPool::instance().setThreadCount(threads);
        QCOMPARE(single.mean, facts.mean);
        QCOMPARE(single.min, facts.min);

        int measured = 0;
        QVector3D lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
        for (size_t i = 0; i < capture.measured.size(); ++i) {
            if (!capture.measured[i])
                continue;
            ++measured;
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], capture.xyz[3 * i + size_t(a)]);
                hi[a] = std::max(hi[a], capture.xyz[3 * i + size_t(a)]);
            }
        }
        QCOMPARE(facts.validCount, int64_t(measured));
        QVERIFY((facts.min - lo).length() < 0.05f && (facts.max - hi).length() < 0.05f);
        QVERIFY(facts.mean.x() > lo.x() && facts.mean.x() < hi.x());
        // Saved as coordinates, the frame tells the same facts.
        store.computeCoordinatesFromPhase();
        store.frameKind = XyzmFrame;
        const SurfaceFacts asCoordinates = store.measureSurface();
        QCOMPARE(asCoordinates.validCount, facts.validCount);
        QCOMPARE(asCoordinates.max, facts.max);
    }

    // A point read back from the drawn surface finds the pixel that measured it, and that pixel's
    // measured point is the surface point the capture was made of.
    void pixelsGiveTheirMeasuredPoints_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("phase") << "pt";
        QTest::newRow("coordinates") << "xyzm";
    }
    void pixelsGiveTheirMeasuredPoints() {
        QFETCH(QString, ending);
        QTemporaryDir dir;
        const SyntheticCapture capture = VirtualScanner(160, 120).capture(0.0);
        const QString path = dir.filePath("capture." + ending);
        QString error;
        ScanFrameStore store;
        if (ending == "pt")
            QVERIFY(writeCapturePt(path, capture, &error) && loadPtFile(store, path, &error));
        else
            QVERIFY(writeCaptureXyzm(path, capture, &error) && loadXYZMFile(store, path, &error, nullptr));
        store.frameKind = ending == "pt" ? PtFrame : XyzmFrame;
        int found = 0;
        for (int v = 1; v < 119; v += 7) {
            for (int u = 1; u < 159; u += 5) {
                const size_t i = size_t(v * 160 + u);
                const std::optional<QVector3D> p = measuredPoint(store, u, v);
                QCOMPARE(bool(p), capture.measured[i] != 0);
                if (!p)
                    continue;
                const QVector3D truth(capture.xyz[3 * i], capture.xyz[3 * i + 1], capture.xyz[3 * i + 2]);
                QVERIFY((*p - truth).length() < 1e-4f * truth.z());
                // The depth buffer gives back a point a fraction of a unit off the surface.
                const std::optional<QPoint> pixel =
                    nearestMeasuredPixel(store, truth + QVector3D(0, 0, 0.3f));
                QVERIFY(pixel);
                QCOMPARE(*pixel, QPoint(u, v));
                ++found;
            }
        }
        QVERIFY(found > 200);
        for (QPoint outside : {QPoint(-1, 5), QPoint(160, 5), QPoint(5, 120)})
            QVERIFY(!measuredPoint(store, outside.x(), outside.y()));
        store.mask[0] = 1;
        store.xyz[2] = NAN;
        store.phase[0] = NAN;
        QVERIFY(!measuredPoint(store, 0, 0));
    }

    void coordinateStatistics() {
        ScanFrameStore store;
        QCOMPARE(store.boundingBoxMin, QVector3D(-160, -120, 600));
        QCOMPARE(store.boundingBoxMax, QVector3D(160, 120, 800));
        QCOMPARE(store.centerOfMass, QVector3D(0, 0, 700));

        resizeStore(store, 2, 2);
        setPoints(store, {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}});
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass, QVector3D(1, 1, 0));
        QCOMPARE(store.boundingBoxMin, QVector3D(-1, -1, 0));
        QCOMPARE(store.boundingBoxMax, QVector3D(3, 3, 0));
        QCOMPARE(store.boundingBoxSize, QVector3D(4, 4, 0));

        // A masked pixel and a non-finite one contribute nothing.
        setPoints(store, {{0, 0, 0}, {2, 0, 0}, {NAN, 0, 0}, {1e30f, 5, 5}});
        store.mask[3] = 0;
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass, QVector3D(1, 0, 0));

        // Nothing valid: the defaults for this frame's size, never NaN.
        std::fill(store.mask.get(), store.mask.get() + 4, uint8_t(0));
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass, QVector3D(0, 0, 700));
        QCOMPARE(store.boundingBoxMax, QVector3D(0.5f, 0.5f, 800));

        resizeStore(store, 1, 1);
        setPoints(store, {{1, 2, 3}});
        store.computeCoordinateStatistics();
        QCOMPARE(store.boundingBoxMin, QVector3D(1, 2, 3));
        QCOMPARE(store.boundingBoxMax, QVector3D(1, 2, 3));

        // A large flat frame: cancellation must not make the deviation NaN.
        resizeStore(store, 1000, 1000);
        setGrid(store, 733.3f);
        store.computeCoordinateStatistics();
        QVERIFY(finite(store.boundingBoxMin) && finite(store.boundingBoxMax));
        QVERIFY(std::fabs(store.centerOfMass.z() - 733.3f) < 1.0f); // single-precision sums
        QVERIFY(std::fabs(store.centerOfMass.x() - 497.5f) < 1.0f); // columns 0, 7, ..., 994 sampled

        // A 100 x 100 frame is sampled completely.
        resizeStore(store, 100, 100);
        std::fill(store.xyz.get(), store.xyz.get() + 3 * 10000, 0.0f);
        std::fill(store.mask.get(), store.mask.get() + 10000, uint8_t(0));
        store.mask[99 * 100 + 99] = 1;
        store.xyz[3 * 9999] = 5;
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass.x(), 5.0f);
    }

    void phaseStatisticsWithoutMeasurementFallBack() {
        ScanFrameStore store;
        setSimpleCalibration(store);
        resizeStore(store, 8, 8);
        std::fill(store.phase.get(), store.phase.get() + 64, 3.0f);
        std::fill(store.mask.get(), store.mask.get() + 64, uint8_t(0));
        store.computePhaseStatistics();
        QVERIFY(finite(store.centerOfMass));
        QCOMPARE(store.centerOfMass, QVector3D(0, 0, 700));
        QCOMPARE(store.boundingBoxMax, QVector3D(2, 2, 800));
    }

    void valuesThatAreNotFiniteStayOffTheSurface() {
        ScanFrameStore store;
        setSimpleCalibration(store);
        resizeStore(store, 48, 48);
        store.frameKind = PtFrame;
        for (int i = 0; i < store.pixelCount; ++i)
            store.phase[i] = 200.0f + float(i % 48);
        const int bad = 24 * 48 + 24; // the centre pixel, inside the statistics window
        store.phase[bad] = NAN;
        store.computePhaseStatistics();
        QVERIFY(finite(store.centerOfMass) && finite(store.boundingBoxMin));
        QVERIFY(store.centerOfMass != QVector3D(0, 0, 700)); // the other window pixels still count
        store.buildPhaseMesh();
        QVERIFY(std::find(store.indexData.begin(), store.indexData.end(), uint32_t(bad)) ==
                store.indexData.end());
        QCOMPARE(store.indexData.size(), size_t(6 * 47 * 47 - 6 * 3));
        // Its own vertex and the two whose neighbour phases it supplies get no validity.
        for (int i : {bad, bad - 48, bad - 49})
            QCOMPARE(store.vertexData[10 * size_t(i) + 9], 0.0f);
        QCOMPARE(store.validCoordinateCount, 47 * 47 - 3);

        // Finite but huge: the sums overflow, and the frame falls back to the defaults.
        resizeStore(store, 4, 3);
        std::fill(store.xyz.get(), store.xyz.get() + 36, 3e38f);
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass, QVector3D(0, 0, 700));

        resizeStore(store, 3, 3);
        setGrid(store, 10.0f);
        store.xyz[3 * 4 + 2] = INFINITY;
        store.buildCoordinateMesh();
        // Only the two triangles that keep clear of the centre remain.
        QCOMPARE(std::vector<uint32_t>(store.indexData.begin(), store.indexData.end()),
                 (std::vector<uint32_t>{1, 5, 2, 3, 6, 7}));
        QVERIFY(finite(store.centerOfMass));
    }

    void meshOfATwoByTwoFrame() {
        ScanFrameStore store;
        resizeStore(store, 2, 2);
        setPoints(store, {{0, 0, 5}, {1, 0, 5}, {0, 1, 6}, {1, 1, 6}});
        const uint8_t rgb[12] = {255, 128, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        std::memcpy(store.rgbTexture.get(), rgb, 12);
        store.buildCoordinateMesh();
        QCOMPARE(store.vertexData.size(), size_t(40));
        QCOMPARE(std::vector<uint32_t>(store.indexData.begin(), store.indexData.end()),
                 (std::vector<uint32_t>{0, 2, 3, 0, 3, 1}));
        QCOMPARE(store.validCoordinateCount, 1);
        const float *v = store.vertexData.data();
        const QVector3D normal = QVector3D::crossProduct(QVector3D(0, 1, 1), QVector3D(1, 1, 1)).normalized();
        QCOMPARE(QVector3D(v[3], v[4], v[5]), normal);
        QCOMPARE(v[6], 1.0f);
        QCOMPARE(v[7], float(128 / 255.0));
        QCOMPARE(v[8], 0.0f);
        QCOMPARE(v[9], 1.0f);
        for (int k = 1; k < 4; ++k)
            QCOMPARE(v[10 * k + 9], 0.0f);

        store.frameKind = PtFrame;
        const float phases[4] = {10, 11, 12, 13};
        std::memcpy(store.phase.get(), phases, sizeof phases);
        store.buildPhaseMesh();
        QCOMPARE(std::vector<uint32_t>(store.indexData.begin(), store.indexData.end()),
                 (std::vector<uint32_t>{0, 2, 3, 0, 3, 1}));
        const std::vector<float> first(v, v + 10);
        QCOMPARE(first, (std::vector<float>{0, 0, 10, 12, 13, 0, 1, float(128 / 255.0), 0, 1}));
        const std::vector<float> last(v + 30, v + 40);
        QCOMPARE(last,
                 (std::vector<float>{1, 1, 13, 0, 0, 0, 7 / 255.0f, float(8 / 255.0), float(9 / 255.0), 0}));
    }

    void meshTrianglesFollowTheMask() {
        ScanFrameStore store;
        resizeStore(store, 5, 5);
        setGrid(store, 0.0f);
        store.buildCoordinateMesh();
        QCOMPARE(store.indexData.size(), size_t(6 * 16));
        QCOMPARE(store.validCoordinateCount, 16);

        // An interior pixel is a corner of six triangles; masking it removes exactly those.
        store.mask[12] = 0;
        store.buildCoordinateMesh();
        QCOMPARE(store.indexData.size(), size_t(6 * 16 - 18));
        QVERIFY(std::find(store.indexData.begin(), store.indexData.end(), 12u) == store.indexData.end());
        QCOMPARE(store.vertexData.size(), size_t(250));
        // Pixel 7 lost its first triangle (7, 12, 13) but keeps (7, 13, 8): no normal.
        QCOMPARE(store.vertexData[10 * 7 + 9], 0.0f);
        const uint32_t second[3] = {7, 13, 8};
        QVERIFY(std::search(store.indexData.begin(), store.indexData.end(), second, second + 3) !=
                store.indexData.end());
        QCOMPARE(store.validCoordinateCount, 16 - 3); // cells of pixels 6, 7 and 12

        // A flat cell whose corners are collinear gets a zero normal but counts as computed.
        std::fill(store.mask.get(), store.mask.get() + 25, uint8_t(1));
        setPoints(store, {{0, 0, 0}, {1, 1, 1}});
        for (int i : {5, 6})
            store.xyz[3 * i] = store.xyz[3 * i + 1] = store.xyz[3 * i + 2] = float(i - 4);
        store.buildCoordinateMesh();
        QCOMPARE(QVector3D(store.vertexData[3], store.vertexData[4], store.vertexData[5]), QVector3D());
        QCOMPARE(store.vertexData[9], 1.0f);

        // One pixel wide or high: vertices but no triangles; phase frames count interior pixels.
        for (QSize size : {QSize(1, 7), QSize(7, 1)}) {
            resizeStore(store, size.width(), size.height());
            store.buildCoordinateMesh();
            QCOMPARE(store.vertexData.size(), size_t(70));
            QVERIFY(store.indexData.empty());
            store.buildPhaseMesh();
            QVERIFY(store.indexData.empty());
            QCOMPARE(store.validCoordinateCount, 0);
        }
        resizeStore(store, 4, 3);
        std::fill(store.phase.get(), store.phase.get() + 12, 1.0f);
        store.buildPhaseMesh();
        QCOMPARE(store.validCoordinateCount, 6);
    }
};

QTEST_GUILESS_MAIN(TestGeometry)
#include "test_geometry.moc"
