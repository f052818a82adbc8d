#include "data/frame_mesh.h"
#include "data/frame_source.h"
#include "data/pt_file.h"
#include "data/region.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/depth_distribution.h"
#include "geometry/depth_jumps.h"
#include "geometry/depth_maps.h"
#include "geometry/file_info_rows.h"
#include "geometry/frame_camera.h"
#include "geometry/measured_point.h"
#include "sample/sample_files.h"
#include "sample/virtual_scanner.h"
#include "support/row_pool.h"
#include "test_support.h"

#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iterator>
#include <random>
#include <set>

namespace {

bool finite(const QVector3D &p) {
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}

QVector3D pointAt(const float *xyz, size_t i) {
    return QVector3D(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
}

template <typename Array> QByteArray bytesOf(const Array &a) {
    return QByteArray(reinterpret_cast<const char *>(a.data()), int(sizeof a[0] * a.size()));
}

// The capture's frame in a store as a load leaves it: raw with its calibration, or finished.
void loadCaptureInto(ScanFrameStore &store, const SyntheticCapture &capture, bool raw) {
    resizeStore(store, capture.width, capture.height);
    std::copy(capture.measured.begin(), capture.measured.end(), store.mask.get());
    store.frameKind = raw ? PtFrame : XyzmFrame;
    applyCalibration(store, capture.calibration);
    std::copy(capture.phase.begin(), capture.phase.end(), store.phase.get());
    std::copy(capture.xyz.begin(), capture.xyz.end(), store.xyz.get());
}

} // namespace

class TestGeometry : public QObject {
    Q_OBJECT

  private slots:
    // A capture, loaded as phases or coordinates, gives back its surface: points, facts, framing
    // (wherever the surface lies) and the pixel behind a point read back from the drawn surface.
    void capturesGiveBackTheirSurface_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("ending");
        QTest::newRow("studio") << int(VirtualScanner::Studio) << QSize(640, 480) << "pt";
        QTest::newRow("studio, odd size") << int(VirtualScanner::Studio) << QSize(333, 201) << "pt";
        QTest::newRow("off centre") << int(VirtualScanner::OffCentre) << QSize(200, 150) << "pt";
        QTest::newRow("hole at the centre") << int(VirtualScanner::CentreHole) << QSize(320, 240) << "pt";
        QTest::newRow("studio, coordinates") << int(VirtualScanner::Studio) << QSize(160, 120) << "xyzm";
        QTest::newRow("off centre, coordinates")
            << int(VirtualScanner::OffCentre) << QSize(160, 120) << "xyzm";
    }
    void capturesGiveBackTheirSurface() {
        QFETCH(int, scene);
        QFETCH(QSize, size);
        QFETCH(QString, ending);
        const int w = size.width(), h = size.height();
        const SyntheticCapture capture = VirtualScanner(w, h, VirtualScanner::Scene(scene)).capture(0.0);
        QTemporaryDir dir;
        const QString path = dir.filePath("c." + ending);
        const bool phaseFrame = ending == "pt";
        ScanFrameStore store;
        FrameSource source;
        QString error;
        QVERIFY(writeSampleFile(path, w, h, &error, VirtualScanner::Scene(scene)) &&
                source.open(path, &error) && source.readFrame(0, store, &error));
        if (phaseFrame)
            store.computeCoordinatesFromPhase();
        phaseFrame ? store.computePhaseStatistics() : store.computeCoordinateStatistics();

        // Every measured pixel gives back the surface point behind it, the rest zero and no point;
        // the box holds nearly all the surface.
        QVector3D lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f), centroid;
        int measured = 0, inside[3] = {0, 0, 0};
        for (size_t i = 0; i < capture.measured.size(); ++i) {
            const QVector3D p = pointAt(store.xyz.get(), i), t = pointAt(capture.xyz.data(), i);
            QVERIFY2((p - t).length() < 1e-4f * std::max(1.0f, t.z()), qPrintable(QString::number(i)));
            QCOMPARE(store.mask[i] != 0, capture.measured[i] != 0);
            QCOMPARE(measuredPoint(store, int(i) % w, int(i) / w),
                     capture.measured[i] ? std::make_optional(p) : std::nullopt);
            if (!capture.measured[i])
                continue;
            ++measured, centroid += t;
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], t[a]), hi[a] = std::max(hi[a], t[a]);
                inside[a] += t[a] >= store.boundingBoxMin[a] && t[a] <= store.boundingBoxMax[a];
            }
        }
        centroid /= float(measured);
        QVERIFY(measured > w * h / 10 && measured < w * h); // the scene leaves a void

        // The facts of every measured pixel, the same whatever the thread count.
        const int threads = RowPool::instance().threadCount();
        auto factsOn = [&store](int t) {
            return RowPool::instance().setThreadCount(t), store.measureSurface();
        };
        const SurfaceFacts facts = factsOn(4), single = factsOn(1);
        RowPool::instance().setThreadCount(threads);
        QVERIFY(single.mean == facts.mean && single.min == facts.min && single.max == facts.max);
        QCOMPARE(facts.validCount, int64_t(measured));
        QVERIFY((facts.min - lo).length() < 0.05f && (facts.max - hi).length() < 0.05f);
        QVERIFY((facts.mean - centroid).length() < 1e-3f * centroid.z());

        // The framing: a phase frame measured at the centre centres there, others on the surface.
        QCOMPARE(store.boundingBoxSize, store.boundingBoxMax - store.boundingBoxMin);
        QVERIFY2(inside[2] >= 0.9 * measured, "framing");
        if (phaseFrame && scene == VirtualScanner::Studio) {
            const size_t centre = size_t(h / 2 * w + w / 2);
            QVERIFY2(std::fabs(store.centerOfMass.z() - capture.xyz[3 * centre + 2]) < 5.0f, "framing");
            QCOMPARE(store.boundingBoxMin.x(), -store.boundingBoxMax.x());
        } else {
            QVERIFY2((store.centerOfMass - centroid).length() < 0.03f * centroid.z(), "framing");
            QVERIFY2(inside[0] >= 0.9 * measured && inside[1] >= 0.9 * measured, "framing");
        }

        // A measured point read back a little off the surface finds its pixel.
        for (int v = 1; v < h - 1; v += h / 17) {
            for (int u = 1; u < w - 1; u += w / 23) {
                const size_t i = size_t(v * w + u);
                if (capture.measured[i])
                    QCOMPARE(
                        nearestMeasuredPixel(store, pointAt(capture.xyz.data(), i) + QVector3D(0, 0, 0.3f)),
                        std::make_optional(QPoint(u, v)));
            }
        }
        for (QPoint outside : {QPoint(-1, 5), QPoint(w, 5), QPoint(5, h)})
            QVERIFY(!measuredPoint(store, outside.x(), outside.y()));
        // Measured, but with no finite point: no point, and not counted.
        store.mask[0] = 1, store.xyz[2] = NAN;
        if (phaseFrame)
            store.phase[0] = NAN;
        QVERIFY(!measuredPoint(store, 0, 0));
        QCOMPARE(store.measureSurface().validCount, int64_t(measured - capture.measured[0]));
    }

    // A region keeps the points its box holds, or those it does not: the facts of what it keeps are
    // those of the points picked here by hand (a box turned a quarter about one axis is the unturned
    // box with its other two edges swapped; turns about x come first), for a raw capture and a finished one.
    // Only a point within rounding of a face may go either way; inside and outside share none and miss none.
    void regionKeepsWhatItsBoxHolds_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QVector3D>("angles");
        QTest::addColumn<bool>("inside");
        for (const char *ending : {"pt", "xyzm"})
            for (const QVector3D angles : {QVector3D(), QVector3D(90, 0, 0), QVector3D(0, -90, 0),
                                           QVector3D(0, 0, 270), QVector3D(90, 90, 0)})
                for (const bool inside : {true, false})
                    QTest::addRow("%s, turned %g %g %g, %s", ending, double(angles.x()), double(angles.y()),
                                  double(angles.z()), inside ? "inside" : "outside")
                        << ending << angles << inside;
    }
    void regionKeepsWhatItsBoxHolds() {
        QFETCH(QString, ending);
        QFETCH(QVector3D, angles);
        QFETCH(bool, inside);
        QTemporaryDir dir;
        ScanFrameStore store;
        FrameSource source;
        QString error;
        QVERIFY(writeSampleFile(dir.filePath("c." + ending), 160, 120, &error) &&
                source.open(dir.filePath("c." + ending), &error) && source.readFrame(0, store, &error));
        const Region region{QVector3D(20, -10, 700), QVector3D(300, 200, 130), angles, inside};
        QVector3D half = region.size / 2.0f;
        for (int a = 0; a < 3; ++a)
            if (angles[a] != 0.0f)
                std::swap(half[(a + 1) % 3], half[(a + 2) % 3]);
        const RegionTest test(region);
        int64_t kept = 0, either = 0;
        double sum[3] = {};
        QVector3D lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
        for (int i = 0; i < store.pixelCount; ++i) {
            const QVector3D p = ending == "pt" ? store.phaseToCoordinate(i % 160, i / 160, store.phase[i])
                                               : pointAt(store.xyz.get(), size_t(i));
            if (!store.mask[i] || !finite(p))
                continue;
            const QVector3D d = p - region.centre;
            bool in = true, nearFace = false;
            for (int a = 0; a < 3; ++a)
                in = in && std::fabs(d[a]) <= half[a],
                nearFace = nearFace || std::fabs(std::fabs(d[a]) - half[a]) < 1e-3f;
            either += nearFace;
            if (!(nearFace ? test.keeps(p) : in == inside))
                continue;
            ++kept;
            for (int a = 0; a < 3; ++a)
                sum[a] += p[a], lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        }
        const SurfaceFacts facts = store.measureSurface(region);
        QVERIFY2(kept > 1000 && either < kept / 100, qPrintable(QString("%1 %2").arg(kept).arg(either)));
        QVERIFY(facts.validCount == kept && facts.min == lo && facts.max == hi);
        for (int a = 0; a < 3; ++a)
            QVERIFY(std::fabs(facts.mean[a] - sum[a] / double(kept)) < 1e-3);
        Region other = region;
        other.keepInside = !inside;
        QCOMPARE(store.measureSurface(other).validCount + kept, store.measureSurface().validCount);
    }

    void triangulationAndFramingAtTheEdges() {
        ScanFrameStore store;
        setSimpleCalibration(store);
        QVERIFY(!finite(store.phaseToCoordinate(3, 10, 10))); // phase equal to the row: singular

        // The window of (320, 240) is rows 238-241, columns 318-321. Neither its masked pixel nor its
        // pixel without a finite phase counts, there or where the framing estimates sample the frame.
        std::fill(store.phase.get(), store.phase.get() + store.pixelCount, 1000.0f);
        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(1));
        for (int v = 238; v <= 241; ++v)
            for (int u = 318; u <= 321; ++u)
                store.phase[v * 640 + u] = 10.0f + (v == 238 && u == 318 ? 5000.0f : 0.0f);
        store.mask[238 * 640 + 318] = 0, store.phase[240 * 640 + 320] = NAN;
        QCOMPARE(store.triangulateAveraged(320, 240), store.phaseToCoordinate(320, 240, 10));
        store.computePhaseStatistics();
        QVERIFY(finite(store.boundingBoxMin) && store.centerOfMass == store.triangulateAveraged(320, 240));
        // At the corners the window is clipped to the frame instead of reading outside it.
        store.phase[0] = store.phase[1] = store.phase[640] = store.phase[641] = 30.0f;
        QCOMPARE(store.triangulateAveraged(0, 0), store.phaseToCoordinate(0, 0, 30));
        QCOMPARE(store.triangulateAveraged(639, 479), store.phaseToCoordinate(639, 479, 1000));

        std::fill(store.mask.get(), store.mask.get() + store.pixelCount, uint8_t(0));
        QVERIFY(!finite(store.triangulateAveraged(320, 240)));

        // The framing estimates stay finite whatever the frame holds, with defaults when nothing is
        // measured, as coordinates or as phases.
        for (bool phases : {false, true}) {
            resizeStore(store, 8, 8);
            std::fill(store.mask.get(), store.mask.get() + 64, uint8_t(0));
            phases ? store.computePhaseStatistics() : store.computeCoordinateStatistics();
            QVERIFY(store.centerOfMass == QVector3D(0, 0, 700) &&
                    store.boundingBoxMax == QVector3D(2, 2, 800));
        }

        // A large flat frame: cancellation must not make the deviation NaN.
        resizeStore(store, 1000, 1000);
        for (int i = 0; i < store.pixelCount; ++i)
            store.xyz[3 * i] = float(i % 1000), store.xyz[3 * i + 1] = float(i / 1000),
                          store.xyz[3 * i + 2] = 733.3f;
        store.computeCoordinateStatistics();
        QVERIFY(finite(store.boundingBoxMin) && finite(store.boundingBoxMax) &&
                std::fabs(store.centerOfMass.z() - 733.3f) < 1.0f); // single-precision sums

        // A 100 x 100 frame is sampled completely, its last pixel too; a masked pixel and a
        // non-finite one count as nothing at all.
        resizeStore(store, 100, 100);
        std::fill(store.mask.get(), store.mask.get() + 9998, uint8_t(0));
        store.xyz[3 * 9998] = NAN, store.xyz[3 * 9999] = 5;
        store.computeCoordinateStatistics();
        QCOMPARE(store.centerOfMass.x(), 5.0f);
    }

    // Both mesh builders, with unmeasured, non-finite and flat cells: every triangle lies on one cell
    // over usable corners, every usable cell gives its triangles, a normal is perpendicular to its
    // cell's edges, and 1 and 5 threads give the same bytes.
    void meshesCoverTheUsableCells() {
        std::mt19937 random(7);
        const int threads = RowPool::instance().threadCount();
        for (QSize size :
             {QSize(2, 2), QSize(5, 5), QSize(1, 7), QSize(7, 1), QSize(48, 48), QSize(131, 97)}) {
            const int w = size.width(), h = size.height();
            const QString where = QString("%1 x %2").arg(w).arg(h);
            ScanFrameStore store;
            resizeStore(store, w, h);
            for (int i = 0; i < store.pixelCount; ++i) {
                const uint32_t r = random();
                store.mask[i] = r % 5 != 0;
                store.phase[i] = r % 31 == 0 ? NAN : 100.0f + float(r % 1000) / 10.0f;
                store.xyz[3 * i] = float(i % w), store.xyz[3 * i + 1] = float(i / w);
                store.xyz[3 * i + 2] = r % 37 == 0 ? INFINITY : 500.0f + float(r % 777) / 7.0f;
                for (int c = 0; c < 3; ++c)
                    store.rgbTexture[3 * i + c] = uint8_t(random());
            }
            if (w > 1 && h > 1) { // a cell whose corners lie on one line
                store.mask[0] = store.mask[w] = store.mask[w + 1] = 1;
                for (int i : {0, w, w + 1})
                    std::fill_n(&store.xyz[3 * i], 3, float(i == 0 ? 0 : i == w ? 1 : 2));
            }
            // Values to colour by, with pixels that have none.
            std::vector<float> values(size_t(w * h));
            for (float &value : values)
                value = random() % 11 == 0 ? NAN : float(random() % 100) - 50.0f;
            for (const auto &[phaseMesh, byValue] : {std::pair<bool, const float *>{false, nullptr},
                                                     {true, nullptr},
                                                     {false, values.data()},
                                                     {true, values.data()}}) {
                auto usable = [&, phaseMesh = phaseMesh, byValue = byValue](int i) {
                    return store.mask[i] &&
                           (phaseMesh ? std::isfinite(store.phase[i])
                                      : finite(pointAt(store.xyz.get(), size_t(i)))) &&
                           (!byValue || std::isfinite(byValue[i]));
                };
                FrameMesh mesh;
                MeshSettings settings;
                settings.pixelValues = byValue;
                auto build = [&, phaseMesh = phaseMesh](int count) {
                    RowPool::instance().setThreadCount(count);
                    phaseMesh ? buildPhaseMesh(store, settings, mesh)
                              : buildCoordinateMesh(store, settings, mesh);
                    return bytesOf(mesh.vertexData) + bytesOf(mesh.indexData);
                };
                QVERIFY2(build(1) == build(5), qPrintable(where));

                int cells = 0;
                const float *v = mesh.vertexData.data();
                QCOMPARE(mesh.vertexData.size(), size_t(10 * w * h));
                for (int i = 0; i < w * h; ++i, v += 10) {
                    const int r = i + w, d = r + 1;
                    const bool interior = i % w + 1 < w && i / w + 1 < h;
                    if (interior && usable(i) && usable(d))
                        cells += usable(r) + usable(i + 1);
                    bool whole = interior && std::isfinite(store.phase[i]) && std::isfinite(store.phase[r]) &&
                                 std::isfinite(store.phase[d]) && (!byValue || std::isfinite(byValue[i]));
                    if (!phaseMesh) {
                        const QVector3D p = pointAt(v, 0), n(v[3], v[4], v[5]);
                        QCOMPARE(p, pointAt(store.xyz.get(), size_t(i)));
                        whole = interior && usable(i) && usable(r) && usable(d);
                        for (int e : {r, d})
                            QVERIFY(!whole || std::fabs(QVector3D::dotProduct(
                                                  n, pointAt(store.xyz.get(), size_t(e)) - p)) < 1e-3f);
                        QVERIFY(!whole || n.length() < 1e-6f || std::fabs(n.length() - 1) < 1e-5f);
                        QVERIFY(!whole || n.z() <= 0); // faces the scanner
                    } else { // the pixel, its phase and the phases below that close its cell
                        QCOMPARE(QPointF(v[0], v[1]), QPointF(i % w, i / w));
                        QVERIFY(std::memcmp(v + 2, &store.phase[i], 4) == 0);
                        QVERIFY(!interior || std::memcmp(v + 3, &store.phase[r], 8) == 0);
                    }
                    QCOMPARE(v[9] != 0, whole);
                    // The colour carries the value, or the texture.
                    QVERIFY(byValue ? std::memcmp(v + 6, byValue + i, 4) == 0
                                    : v[7] == float(store.rgbTexture[3 * i + 1] / 255.0));
                }
                // As many triangles as usable cells give, each on its cell.
                QCOMPARE(int(mesh.indexData.size()), 3 * cells);
                for (size_t t = 0; t < mesh.indexData.size(); t += 3) {
                    const int a = int(mesh.indexData[t]), b = int(mesh.indexData[t + 1]),
                              c = int(mesh.indexData[t + 2]);
                    const bool lower = b == a + w && c == a + w + 1, upper = b == a + w + 1 && c == a + 1;
                    QVERIFY2(lower || upper, qPrintable(where));
                    QVERIFY(a % w + 1 < w && a / w + 1 < h);
                    QVERIFY(usable(a) && usable(b) && usable(c));
                }
            }
        }
        RowPool::instance().setThreadCount(threads);
    }

    // A process forked after a pass, or during another thread's, runs its passes on threads of its
    // own; the parent waits a bounded time, so a child that hangs fails instead of stopping the suite.
    void passesRunInAForkedChild_data() {
        QTest::addColumn<bool>("busy");
        QTest::newRow("after a pass") << false;
        QTest::newRow("while another thread runs passes") << true;
    }
    void passesRunInAForkedChild() {
        QFETCH(bool, busy);
        RowPool &pool = RowPool::instance();
        const int threads = pool.threadCount();
        pool.setThreadCount(4);
        const auto writers = [&pool] { // the threads that wrote the rows of a pass, 0 if one is missing
            std::vector<std::thread::id> writer(256);
            pool.forRows(256, [&](int first, int end) {
                std::fill(writer.begin() + first, writer.begin() + end, std::this_thread::get_id());
            });
            const std::set<std::thread::id> ids(writer.begin(), writer.end());
            return ids.count(std::thread::id()) ? 0 : int(ids.size());
        };
        QCOMPARE(writers(), 4);
        std::atomic<bool> stop{!busy};
        std::thread other([&] {
            while (!stop)
                writers();
        });
        std::fflush(stdout), std::fflush(stderr);
        const pid_t child = fork();
        if (child == 0) // stops its own threads, and leaves without the parent's exit handlers
            _exit(writers() == 4 && writers() == 4 ? (pool.setThreadCount(1), 0) : 1);
        stop = true;
        other.join();
        int status = 0, waited = 0;
        pid_t ended = 0;
        while ((ended = waitpid(child, &status, WNOHANG)) == 0 && waited++ < 12000)
            QThread::msleep(10);
        if (ended == 0)
            kill(child, SIGKILL), waitpid(child, &status, 0);
        pool.setThreadCount(threads);
        QVERIFY2(ended == child, "the forked child never finished its passes");
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // With the depth-jump rule no triangle joins a shape to one well behind it, and the triangles on
    // one shape stay: for a raw capture (its camera's focal length), its finished twin (the spacing
    // of its points), at full detail and at a coarser stride. The rule's points of a raw frame are its
    // triangulated points.
    void depthJumpsLeaveCurtainsOut_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("stride");
        QTest::newRow("raw") << "pt" << 1;
        QTest::newRow("finished") << "xyzm" << 1;
        QTest::newRow("raw, every second pixel") << "pt" << 2;
        QTest::newRow("finished, every fourth pixel") << "xyzm" << 4;
    }
    void depthJumpsLeaveCurtainsOut() {
        QFETCH(QString, ending);
        QFETCH(int, stride);
        const int w = 320, h = 240, columns = (w - 1) / stride + 1;
        const SyntheticCapture capture = VirtualScanner(w, h).capture(0.7);
        QTemporaryDir dir;
        const QString path = dir.filePath("c." + ending);
        ScanFrameStore store;
        QString error;
        const bool raw = ending == "pt";
        QVERIFY(raw ? writeCapturePt(path, capture, &error) && loadPtFile(store, path, &error)
                    : writeCaptureXyzm(path, capture, &error) && loadXYZMFile(store, path, &error, nullptr));
        const float reach =
            2.0f * DepthJumpRule::kDefaultFactor * float(stride / capture.calibration.cameraProjection[0]);
        // Triangles on one shape, and curtains: triangles between shapes whose true corners lie
        // further apart than twice what the rule allows.
        FrameMesh mesh;
        auto count = [&](bool hide, int &oneShape, int &curtains) {
            MeshSettings settings;
            settings.hideDepthJumps = hide;
            settings.stride = stride;
            buildMesh(store, settings, mesh);
            oneShape = curtains = 0;
            for (size_t t = 0; t < mesh.indexData.size(); t += 3) {
                size_t pixel[3];
                float nearest = INFINITY, longest = 0;
                for (int k = 0; k < 3; ++k) {
                    const uint32_t n = mesh.indexData[t + k];
                    pixel[k] = size_t((n / columns) * stride * w + (n % columns) * stride);
                    nearest = std::min(nearest, capture.xyz[3 * pixel[k] + 2]);
                }
                for (int k = 0; k < 3; ++k)
                    longest = std::max(longest, (pointAt(capture.xyz.data(), pixel[k]) -
                                                 pointAt(capture.xyz.data(), pixel[(k + 1) % 3]))
                                                    .length());
                const uint8_t shape = capture.surface[pixel[0]];
                if (capture.surface[pixel[1]] == shape && capture.surface[pixel[2]] == shape)
                    ++oneShape;
                else if (longest > reach * nearest)
                    ++curtains;
            }
        };
        int before = 0, curtainsBefore = 0, kept = 0, curtainsKept = 0;
        count(false, before, curtainsBefore);
        count(true, kept, curtainsKept);
        QVERIFY2(curtainsBefore > 20 && curtainsKept == 0 && kept >= 0.99 * before,
                 qPrintable(QString("curtains %1, then %2; on one shape %3, then %4")
                                .arg(curtainsBefore)
                                .arg(curtainsKept)
                                .arg(before)
                                .arg(kept)));
        if (raw) {
            RowPoints points;
            const DepthJumpRule rule(store, DepthJumpRule::kDefaultFactor, 1);
            for (int v = 0; v < h; v += 37) {
                rule.rowPoints(v, points);
                for (int u = 0; u < w; u += 7)
                    if (store.mask[v * w + u])
                        QVERIFY((QVector3D(points.x[u], points.y[u], points.z[u]) -
                                 store.phaseToCoordinate(float(u), float(v), store.phase[v * w + u]))
                                    .length() < 1e-4f * points.z[u]);
            }
        }
    }

    // A scan saved in coordinates other than its camera's (a turntable's, a board's): the camera is
    // found where the move put it, from the moved calibration or fitted to the finished frame's grid,
    // and the rule drops the triangles it drops for the capture in its camera's coordinates.
    void depthJumpsFollowTheCamera_data() {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<float>("angle");
        QTest::addColumn<QVector3D>("shift");
        QTest::newRow("raw, z straddling 0") << true << 0.0f << QVector3D(0, 0, -720);
        QTest::newRow("raw, turned and behind") << true << 160.0f << QVector3D(100, -50, -300);
        QTest::newRow("finished, z straddling 0") << false << 0.0f << QVector3D(0, 0, -720);
        QTest::newRow("finished, turned and behind") << false << 160.0f << QVector3D(100, -50, -300);
        QTest::newRow("finished, turned a quarter") << false << 90.0f << QVector3D(0, 0, 0);
    }
    void depthJumpsFollowTheCamera() {
        QFETCH(bool, raw);
        QFETCH(float, angle);
        QFETCH(QVector3D, shift);
        const SyntheticCapture capture = VirtualScanner(320, 240).capture(0.7);
        SyntheticCapture moved = capture;
        QMatrix4x4 move;
        move.translate(shift);
        move.rotate(angle, 1.0f, 2.0f, 0.5f);
        moveCapture(moved, move);
        ScanFrameStore store;
        // The triangles kept, each as its first vertex and which of its cell's two it is.
        auto kept = [&](const SyntheticCapture &c, bool hide) {
            loadCaptureInto(store, c, raw);
            MeshSettings settings;
            settings.hideDepthJumps = hide;
            FrameMesh mesh;
            buildMesh(store, settings, mesh);
            std::set<uint64_t> triangles;
            for (size_t t = 0; t < mesh.indexData.size(); t += 3)
                triangles.insert(2 * uint64_t(mesh.indexData[t]) +
                                 (mesh.indexData[t + 2] == mesh.indexData[t] + 1));
            return triangles;
        };
        const std::set<uint64_t> all = kept(capture, false), asCaptured = kept(capture, true),
                                 asMoved = kept(moved, true);
        const FrameCamera camera = frameCamera(store);
        QCOMPARE(camera.source, raw ? FrameCamera::Calibration : FrameCamera::Fitted);
        QVERIFY((camera.centre - shift).length() < 0.5f &&
                (camera.axis - move.mapVector(QVector3D(0, 0, 1))).length() < 1e-3f &&
                (camera.yAxis - move.mapVector(QVector3D(0, 1, 0))).length() < 1e-3f);
        std::vector<uint64_t> differing;
        std::set_symmetric_difference(asCaptured.begin(), asCaptured.end(), asMoved.begin(), asMoved.end(),
                                      std::back_inserter(differing));
        const size_t dropped = all.size() - asCaptured.size();
        QVERIFY2(dropped > 100 && differing.size() <= dropped / 100,
                 qPrintable(QString("%1 dropped, %2 differ").arg(dropped).arg(differing.size())));
        // Depth images, moved or not, give each pixel's distance along the camera's axis.
        std::vector<float> captured(capture.measured.size()), seen(capture.measured.size());
        loadCaptureInto(store, capture, raw);
        depthImage(store, captured.data());
        loadCaptureInto(store, moved, raw);
        depthImage(store, seen.data());
        for (size_t i = 0; i < captured.size(); ++i)
            QVERIFY(capture.measured[i]
                        ? std::fabs(seen[i] - capture.xyz[3 * i + 2]) < 1e-3f * captured[i] &&
                              std::fabs(captured[i] - capture.xyz[3 * i + 2]) < 1e-3f * captured[i]
                        : std::isnan(seen[i]) && std::isnan(captured[i]));
    }

    // A disc comes nearer by a known step a frame in front of a still wall, filmed with a camera's
    // noise. The change at the disc is the step, nearer, within the noise; the wall's stays within
    // it; a pixel's series is the disc's ramp, the wall's flat, an unmeasured one's a gap; a noise
    // window moved along a video holds what one read afresh holds.
    void depthOverTimeFollowsTheScene() {
        QTemporaryDir dir;
        const QString path = dir.filePath("approach.ptv");
        const int w = 160, h = 120, frames = 8;
        const float rate = 15.0f, step = float(VirtualScanner::kApproachSpeed) / rate;
        QString error;
        QVERIFY(writeSampleSequence(path, w, h, frames, rate, &error, VirtualScanner::Approach));
        const VirtualScanner scanner(w, h, VirtualScanner::Approach);
        std::vector<SyntheticCapture> truth;
        for (int k = 0; k < frames; ++k)
            truth.push_back(scanner.capture(k / double(rate)));
        // Whether every capture sees `surface` (0: nothing) in the block of `radius` around (u, v).
        const auto always = [&](int u, int v, int radius, uint8_t surface) {
            for (const SyntheticCapture &c : truth)
                for (int y = v - radius; y <= v + radius; ++y)
                    for (int x = u - radius; x <= u + radius; ++x)
                        if (x < 0 || y < 0 || x >= w || y >= h || c.surface[size_t(y * w + x)] != surface)
                            return false;
            return true;
        };
        FrameSource source;
        QVERIFY(source.open(path, &error));
        DepthFrames reader(source);
        const float noise = medianNoise(reader, 0, kNoiseWindow, &error);
        QVERIFY2(noise > 0.0f && noise < step / 8, qPrintable(QString::number(double(noise))));

        std::vector<float> before, change(size_t(w * h)), disc, wall, scratch;
        QVERIFY(reader.read(3, &error));
        before = reader.depth();
        QVERIFY(reader.read(4, &error));
        depthChange(reader.depth().data(), before.data(), w * h, change.data());
        for (int i = 0; i < w * h; ++i) {
            const float c = change[size_t(i)];
            if (always(i % w, i / w, 1, 1))
                disc.push_back(c);
            else if (always(i % w, i / w, 1, 2))
                wall.push_back(c);
            else if (!truth[3].measured[size_t(i)] || !truth[4].measured[size_t(i)])
                QVERIFY(std::isnan(c));
        }
        QVERIFY(disc.size() > 500 && wall.size() > 5000);
        QVERIFY(std::fabs(finiteMedian(disc.data(), int64_t(disc.size()), scratch) + step) < noise);
        QVERIFY(std::all_of(disc.begin(), disc.end(), [&](float c) { return c < -step / 2; }));
        for (float &c : wall)
            c = std::fabs(c);
        QVERIFY(finiteMedian(wall.data(), int64_t(wall.size()), scratch) < neutralChange(noise) / 2);

        // The disc's centre as the first capture sees it, a pixel of the wall beside it, and one where
        // nothing is ever measured.
        QPoint centre, still(-1, -1), gap(-1, -1);
        int discPixels = 0;
        for (int i = 0; i < w * h; ++i) {
            const int u = i % w, v = i / w;
            if (truth[0].surface[size_t(i)] == 1)
                centre += QPoint(u, v), ++discPixels;
            if (still.x() < 0 && v == h / 2 && always(u, v, 2, 2))
                still = QPoint(u, v);
            if (gap.x() < 0 && always(u, v, 2, 0))
                gap = QPoint(u, v);
        }
        centre /= discPixels;
        QVERIFY(still.x() >= 0 && gap.x() >= 0);
        const auto depthAt = [&](int frame, const QPoint &p) {
            return truth[size_t(frame)].xyz[size_t(3 * (p.y() * w + p.x()) + 2)];
        };
        int k = 0;
        // The disc's ramp from where it starts (it faces the camera: one depth over it), the wall where
        // it stands, and nothing.
        QVERIFY(reader.series(
            {centre, still, gap}, kSeriesWindow, 0, frames - 1,
            [&](int32_t frame, const float *depth) {
                return frame == k++ && std::fabs(depth[0] - (depthAt(0, centre) - step * frame)) < noise &&
                       std::fabs(depth[1] - depthAt(frame, still)) < noise && std::isnan(depth[2]);
            },
            &error));
        QCOMPARE(k, frames);

        FrameSource again;
        QVERIFY(again.open(path, &error));
        NoiseWindow moving(source);
        std::vector<float> moved(size_t(w * h)), afresh(size_t(w * h));
        for (const auto &[first, last] : {std::pair{0, 4}, {2, 6}, {3, 7}, {1, 5}, {1, 3}, {6, 7}}) {
            NoiseWindow fresh(again);
            QVERIFY(moving.moveTo(first, last, &error) && fresh.moveTo(first, last, &error));
            moving.spread(moved.data());
            fresh.spread(afresh.data());
            for (size_t i = 0; i < moved.size(); ++i)
                QVERIFY(std::isnan(moved[i]) ? std::isnan(afresh[i])
                                             : std::fabs(moved[i] - afresh[i]) < 1e-4f);
        }
    }

    // A finished frame shows its camera only where its grid holds enough points in perspective;
    // else depth is z, and File Info says so. A few points astray or not numbers do not hide it.
    void camerasAreFoundOnlyWhereTheGridShowsThem_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("found");
        QTest::newRow("strays and points that are no numbers") << "strays" << true;
        QTest::newRow("too few pixels measured") << "few" << false;
        QTest::newRow("a plane") << "plane" << false;
        QTest::newRow("no perspective") << "flat grid" << false;
    }
    void camerasAreFoundOnlyWhereTheGridShowsThem() {
        QFETCH(QString, change);
        QFETCH(bool, found);
        SyntheticCapture capture = VirtualScanner(160, 120).capture(0.0);
        for (size_t i = 0; i < capture.measured.size(); ++i) {
            float *p = &capture.xyz[3 * i];
            if (change == "strays")
                p[0] += i % 100 == 7 ? 300.0f : i % 50 == 0 ? NAN : 0.0f;
            capture.measured[i] &= change != "few" || i % 500 == 0;
            if (change == "plane")
                p[0] *= 600.0f / p[2], p[1] *= 600.0f / p[2], p[2] = 600.0f;
            if (change == "flat grid")
                p[0] = float(i % 160), p[1] = float(i / 160);
        }
        ScanFrameStore store;
        loadCaptureInto(store, capture, false);
        const FrameCamera camera = frameCamera(store);
        QCOMPARE(camera.found(), found);
        // Found, it is the origin's exactly: the capture is in its camera's coordinates.
        QVERIFY(camera.atOrigin() && camera.depth(QVector3D(3, -4, 500)) == 500.0f);
        QCOMPARE(fileInfoRows(store).size(), found ? 10 : 11);
    }

    // A corner that is not a number, whichever coordinate or depth it lacks, makes a jump of both
    // triangles it belongs to (corners top-left, right, below, below-right); the cell's other stays.
    // A fitted colour scale spans the 1st to the 99th percentile of the measured depths: those of the
    // depths themselves within a bin (a two-thousandth of a depth), over one frame or two frames at
    // once, and a few stray far points that set the extremes leave it where the surface is.
    void fitsSpanTheBulkOfTheDepths_data() {
        QTest::addColumn<bool>("raw");
        QTest::addColumn<int>("strays");
        QTest::newRow("phases") << true << 0;
        QTest::newRow("coordinates, stray far points") << false << 25;
    }
    void fitsSpanTheBulkOfTheDepths() {
        QFETCH(bool, raw);
        QFETCH(int, strays);
        const VirtualScanner scanner(160, 120, VirtualScanner::OffCentre);
        DepthDistribution fitted;
        std::vector<float> all;
        for (double time : {0.0, 1.5}) {
            ScanFrameStore store;
            loadCaptureInto(store, scanner.capture(time), raw);
            for (int i = 0, stray = 0; i < store.pixelCount && stray < strays; i += 97)
                if (store.mask[i])
                    store.xyz[3 * i + 2] = 5000.0f + float(stray++);
            fitted.add(store);
            ScanFrameStore points = store.duplicate();
            if (raw)
                points.computeCoordinatesFromPhase();
            for (int i = 0; i < store.pixelCount; ++i)
                if (store.mask[i])
                    all.push_back(points.xyz[3 * i + 2]);
            if (strays > 0) // the extremes reach the strays
                QVERIFY(store.measureSurface().max.z() >= 5000.0f);
        }
        QCOMPARE(fitted.count(), int64_t(all.size()));
        std::sort(all.begin(), all.end());
        const auto exact = [&all](double fraction) { return all[size_t(fraction * double(all.size() - 1))]; };
        float nearDepth = 0.0f, farDepth = 0.0f;
        QVERIFY(fitted.fittedRange(&nearDepth, &farDepth));
        for (const auto &end :
             {std::make_pair(nearDepth, exact(0.01)), std::make_pair(farDepth, exact(0.99))})
            QVERIFY2(std::fabs(end.first - end.second) <= end.second / 2048.0f,
                     qPrintable(QString("%1 against %2").arg(double(end.first)).arg(double(end.second))));
        QVERIFY(farDepth < 1000.0f && nearDepth > all.front());
        // The ends are those of the points themselves, to the bit.
        QVERIFY(fitted.percentile(0.0) == all.front() && fitted.percentile(1.0) == all.back());
        fitted.clear();
        QVERIFY(!fitted.fittedRange(&nearDepth, &farDepth) && fitted.count() == 0);
    }

    void depthJumpsTakeCornersWithoutNumbers() {
        ScanFrameStore store; // a camera of unit focal length 5 units behind the origin
        store.frameKind = PtFrame;
        setSimpleCalibration(store);
        const double camera[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 5};
        store.setCameraProjection(camera);
        const DepthJumpRule rule(store, DepthJumpRule::kDefaultFactor, 1);
        const int jumps[4] = {3, 2, 1, 3};
        for (int corner = 0; corner < 4; ++corner)
            for (int lacks = -1; lacks < 4; ++lacks) {
                RowPoints rows[2] = {{{0, 1}, {0, 0}, {10, 10}, {15, 15}},
                                     {{0, 1}, {1, 1}, {10, 10}, {15, 15}}};
                RowPoints &row = rows[corner / 2];
                if (lacks >= 0)
                    (lacks == 0   ? row.x
                     : lacks == 1 ? row.y
                     : lacks == 2 ? row.z
                                  : row.depth)[corner % 2] = NAN;
                uint8_t verdict = 0;
                rule.markJumps(rows[0], rows[1], 2, &verdict);
                const QString where = QString("corner %1 lacking %2: ").arg(corner).arg(lacks);
                QCOMPARE(where + QString::number(verdict),
                         where + QString::number(lacks < 0 ? 0 : jumps[corner]));
            }
    }
};

QTEST_GUILESS_MAIN(TestGeometry)
#include "test_geometry.moc"
