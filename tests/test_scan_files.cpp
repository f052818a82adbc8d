// Reading scan files: XYZM and PT captures, the filters a capture goes through on its way to the
// screen, and PTV sequences with their playback.
#include "broken_files.h"
#include "data/binary_file.h"
#include "data/demosaicer.h"
#include "data/frame_files.h"
#include "data/frame_mesh.h"
#include "data/frame_source.h"
#include "data/image_filter.h"
#include "data/loop_range.h"
#include "data/ply_file.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "geometry/depth_jumps.h"
#include "geometry/file_info_rows.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
#include "support/row_pool.h"
#include "test_support.h"

#include <QDateTime>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

// Every allocation of this test program is counted; playbackTicks reads the count around its ticks
// to show that a playback tick makes none.
static std::atomic<long> allocations{0};
void *operator new(size_t bytes) {
    ++allocations;
    if (void *p = std::malloc(bytes ? bytes : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, size_t) noexcept {
    std::free(p);
}

namespace {

PtvHeader sequenceHeader(int w, int h, int frames, uint8_t colorTexture = 0) {
    PtvHeader p;
    p.frameRate = 25.0f, p.frameCount = frames, p.width = w, p.height = h, p.colorTexture = colorTexture;
    // A camera and a projector value, to be found where the header bytes put them.
    p.calibration.cameraProjection[0] = 50, p.calibration.projectorProjection[11] = 10;
    return p;
}

// Writes a sequence of the header and its first `written` frames, and opens it as exports do.
bool openSequence(FrameSource &source, const QString &path, const PtvHeader &p, int written) {
    writeAll(path, ptvFile(p, written));
    return source.open(path, nullptr);
}

} // namespace

class TestScanFiles : public QObject {
    Q_OBJECT

  private slots:
    // A failed save leaves what was there: a folder of that name, or no file at all.
    void failedSaveKeepsWhatWasThere() {
        QTemporaryDir dir;
        ScanFrameStore store;
        QString error;
        QVERIFY(QDir(dir.path()).mkdir("taken.xyzm"));
        for (const char *name : {"taken.xyzm", "no/such.xyzm"}) {
            QVERIFY(!writeXYZMFile(dir.filePath(name), store.xyz.get(), store.rgbTexture.get(),
                                   store.mask.get(), store.width, store.height, &error, nullptr));
            QVERIFY(!error.isEmpty());
            error.clear();
        }
        QVERIFY(QFileInfo(dir.filePath("taken.xyzm")).isDir() &&
                QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    // Each kind of texture loads as the viewer shows it.
    void ptTextureKinds_data() {
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("mosaicCode");
        QTest::newRow("mosaic") << 0 << 0;
        QTest::newRow("grey") << 0 << -1;
        QTest::newRow("three bytes") << 1 << 1;
    }
    void ptTextureKinds() {
        QFETCH(int, colour);
        QFETCH(int, mosaicCode);
        const int w = 6, h = 4, n = w * h, bytesPerPixel = colour ? 3 : 1;
        const std::vector<float> phase(n, 100.25f);
        const bool mosaic = !colour && mosaicCode >= 0;
        const uint8_t rggb[4] = {200, 120, 120, 40}; // one flat colour as the mosaic lays it out
        std::vector<uint8_t> texture(size_t(n * bytesPerPixel));
        for (size_t b = 0; b < texture.size(); ++b)
            texture[b] = mosaic ? rggb[b / w % 2 * 2 + b % 2] : b % 7 == 3 ? 0 : uint8_t(b * 37 + 5);
        PtHeader header;
        header.width = w, header.height = h, header.colorTexture = uint8_t(colour),
        header.mosaicCode = mosaicCode;
        QTemporaryDir dir;
        QString error;
        QVERIFY(writePtFile(dir.filePath("in.pt"), phase.data(), texture.data(), header, &error));
        ScanFrameStore store;
        QVERIFY2(loadPtFile(store, dir.filePath("in.pt"), &error), qPrintable(error));
        // The mask is the (first) texture byte; the colour the flat colour behind the mosaic, the
        // grey byte three times, or the three bytes as they are.
        for (int i = 0; i < 3 * n; ++i) {
            const int expected = colour   ? texture[size_t(i)]
                                 : mosaic ? rggb[i % 3 + (i % 3 == 2)]
                                          : texture[size_t(i / 3)];
            QVERIFY2(std::abs(store.rgbTexture[size_t(i)] - expected) <= int(mosaic),
                     qPrintable(QString::number(i)));
        }
        for (int i = 0; i < n; ++i) {
            QCOMPARE(store.mask[i], texture[size_t(i * bytesPerPixel)]);
            QVERIFY(!store.mask[i] || store.monoTexture[i]);
        }
        if (colour)
            return;
        // A pixel left unmeasured with its texture byte still there is saved without texture, so
        // it reads back unmeasured; the frame itself keeps its texture.
        store.mask[1] = 0;
        const uint8_t texel = store.monoTexture[1];
        ScanFrameStore reloaded;
        QVERIFY(savePtFile(store, dir.filePath("out.pt"), &error) &&
                loadPtFile(reloaded, dir.filePath("out.pt"), &error));
        for (int i = 0; i < n; ++i)
            QCOMPARE(reloaded.mask[i] != 0, store.mask[i] != 0);
        QVERIFY(texel != 0 && store.monoTexture[1] == texel);
    }

    // Every broken file is refused with its reason and leaves the frame shown before as it was,
    // down to where its buffers live; every odd but legal one gives a frame the view can draw.
    void brokenFilesLeaveTheShownFrame() {
        QTemporaryDir dir;
        ScanFrameStore store;
        auto brokenFilesAndMissing = brokenFiles();
        brokenFilesAndMissing.push_back({"missing.xyzm", {}, false, "No such file"});
        for (const BrokenFile &file : brokenFilesAndMissing) {
            showSmallFrame(store);
            const QByteArray before = bufferAddresses(store) + storeSnapshot(store);
            const QString path = dir.filePath(file.name);
            if (file.name != "missing.xyzm")
                writeAll(path, file.bytes);
            QString error;
            FrameMesh mesh;
            const bool loaded = loadScanFile(store, mesh, path, &error);
            QVERIFY2(loaded == file.legal, qPrintable(file.name + ": " + error));
            const bool pt = file.name.endsWith(".pt");
            if (loaded) {
                QCOMPARE(store.frameKind, int32_t(file.name.endsWith(".xyzm") ? XyzmFrame
                                                  : pt                        ? PtFrame
                                                                              : PtvFrame));
                const char *fault = drawableFrameFault(store, mesh);
                QVERIFY2(!fault, qPrintable(file.name + ": " + fault));
                // A PLY holds exactly the points the facts count, each of them finite.
                QVERIFY(FrameFiles::saveFrame(dir.filePath("saved.ply"), store, MeshSettings(), Region(),
                                              &error));
                const QByteArray ply = readAll(dir.filePath("saved.ply"));
                const int vertices =
                    QString(ply.mid(ply.indexOf("vertex ") + 7, 12)).section('\n', 0, 0).toInt();
                const char *v = ply.constData() + ply.indexOf("end_header\n") + 11;
                for (int k = 0; k < vertices; ++k) {
                    float point[3]; // each vertex 27 bytes, the point first
                    std::memcpy(point, v + 27 * k, 12);
                    QVERIFY(std::isfinite(point[0]) && std::isfinite(point[1]) && std::isfinite(point[2]));
                }
                QVERIFY2(vertices == store.measureSurface().validCount, qPrintable(file.name));
                // Saved again, a capture gives its own bytes back but for the time of the save.
                if (file.name.endsWith(".ptv") || file.name.startsWith("lenient"))
                    continue;
                const QString saved = dir.filePath(pt ? "saved.pt" : "saved.xyzm");
                QVERIFY(pt ? savePtFile(store, saved, &error)
                           : writeXYZMFile(saved, store.xyz.get(), store.rgbTexture.get(), store.mask.get(),
                                           store.width, store.height, &error, nullptr));
                QByteArray bytes = readAll(saved);
                if (pt) {
                    QVERIFY(QDateTime::fromString(QString::fromLatin1(bytes.mid(4, 16)), "yyyy-MM-dd-hh-mm")
                                .isValid());
                    bytes.replace(4, 16, file.bytes.mid(4, 16));
                }
                QVERIFY2(bytes == file.bytes, qPrintable(file.name));
            } else {
                QVERIFY2(!error.isEmpty() && error.contains(file.reason),
                         qPrintable(file.name + ": " + error));
                QVERIFY2(bufferAddresses(store) + storeSnapshot(store) == before, qPrintable(file.name));
            }
        }
    }

    // Without its depth jumps a PLY leaves out a run of stray pixels whose one triangle was a jump,
    // every pixel of the run, and keeps the wall beside it whole.
    void plyLeavesStrayPixelsOut() {
        ScanFrameStore store;
        resizeStore(store, 12, 12);
        store.frameKind = XyzmFrame;
        setSimpleCalibration(store);
        for (int i = 0; i < store.pixelCount; ++i) {
            const int x = i % 12, y = i / 12;
            // A wall in the left half; to the right three pixels on their own, each deeper than the last.
            const bool stray = (x == 8 && (y == 5 || y == 6)) || (x == 9 && y == 6);
            store.mask[i] = x < 6 || stray;
            store.xyz[3 * i] = float(x), store.xyz[3 * i + 1] = float(y);
            store.xyz[3 * i + 2] = stray ? 700.0f * float(x + y - 12) : 700.0f;
        }
        QTemporaryDir dir;
        QString error;
        for (const bool hide : {false, true}) {
            MeshSettings settings;
            settings.hideDepthJumps = hide;
            QVERIFY(FrameFiles::saveFrame(dir.filePath("cut.ply"), store, settings, Region(), &error));
            const QByteArray ply = readAll(dir.filePath("cut.ply"));
            QVERIFY2(ply.contains(hide ? "vertex 72\n" : "vertex 75\n") &&
                         ply.contains(hide ? "face 110\n" : "face 111\n"),
                     ply.left(ply.indexOf("property uchar blue")).constData());
        }
    }

    // The facts come from the measured pixels, not the framing estimates.
    void fileInfoRowsTellMeasuredFacts() {
        ScanFrameStore store;
        store.fileName = "scan.pt";
        resizeStore(store, 4, 1);
        const float points[12] = {-12.5f, 0.000123f, -3, 250, 1234567, 0.5f, 1e9f, 1e9f, 1e9f, NAN, 0, 0};
        std::copy(points, points + 12, store.xyz.get());
        store.mask[2] = 0; // far away, but not measured
        store.centerOfMass = QVector3D(7, 7, 7);
        QStringList values;
        for (const auto &row : fileInfoRows(store).mid(4, 6))
            values << row.second;
        QCOMPARE(values, (QStringList{"4", "2", "[ -12.5 , 250 ]", "[ 0.000123 , 1.23457e+06 ]",
                                      "[ -3 , 0.5 ]", "[ 118.75 , 617284, -1.25 ]"}));
    }

    // Before any file the store holds an empty frame, never what the allocator left there.
    void startUpFrameIsEmpty() {
        for (int round = 0; round < 3; ++round) {
            auto store = std::make_unique<ScanFrameStore>();
            const size_t n = size_t(store->pixelCount);
            for (auto [data, bytes] : {std::pair<void *, size_t>{store->mask.get(), n},
                                       {store->monoTexture.get(), n},
                                       {store->rgbTexture.get(), 3 * n},
                                       {store->phase.get(), 4 * n},
                                       {store->xyz.get(), 12 * n}}) {
                QVERIFY(QByteArray(static_cast<char *>(data), int(bytes)) == QByteArray(int(bytes), '\0'));
                std::memset(data, 0x5a, bytes); // litter for the next store built in the same memory
            }
        }
    }

    void demosaicBlocks() {
        std::unique_ptr<float[]> kernel;
        ImageFilter::makeGaussianKernel(kernel, 3);
        for (int i : {0, 1, 4})
            QVERIFY(std::fabs(kernel[i] - (i == 0 ? 0.0751136f : i == 1 ? 0.1238414f : 0.2041800f)) < 5e-7f);

        // One block: green is the halved sum where the pixel has no green sample of its own.
        const uint8_t mosaic[4] = {10, 21, 31, 40}, bright[4] = {0, 255, 255, 0};
        uint8_t rgb[12];
        Demosaicer(2, 2).demosaic(mosaic, rgb);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(rgb), 12),
                 QByteArray("\x0a\x19\x28\x0a\x15\x28\x0a\x1f\x28\x0a\x19\x28", 12));
        Demosaicer(2, 2).demosaic(bright, rgb);
        QVERIFY(rgb[1] == 254 && rgb[10] == 254);

        // A 3 x 3 mosaic fills the top-left block; its edge pixels get their own sample as grey.
        std::vector<uint8_t> nine(9, 100), out(27, 7);
        Demosaicer(3, 3).demosaic(nine.data(), out.data());
        for (int i = 0; i < 9; ++i)
            QCOMPARE(out[3 * i], uint8_t(i == 0 || i == 1 || i == 3 || i == 4 ? 100 : 7));
        fillMosaicEdges(nine.data(), out.data(), 3, 3);
        QCOMPARE(out, std::vector<uint8_t>(27, 100));
    }

    // The fast paths against the plain rule (a float sum in kernel order rounded in double; valid
    // neighbours only for the phase; each colour plane alone), twice on one filter, on 1 and 5 threads.
    void fastPathsFollowThePlainRule() {
        const int w = 41, h = 29, n = w * h;
        std::unique_ptr<float[]> kernel;
        ImageFilter::makeGaussianKernel(kernel, 3);
        std::mt19937 random(12345);
        std::vector<uint8_t> plane(n), mask(n), rgb(3 * n);
        std::vector<float> phase(n);
        for (int i = 0; i < n; ++i) {
            plane[i] = uint8_t(random()), mask[i] = random() % 4 != 0;
            phase[i] = float(random() >> 8) / 65536.0f - 100.0f;
        }
        for (uint8_t &b : rgb)
            b = uint8_t(random());
        // A valid pixel alone among invalid ones, and an invalid one among valid ones.
        for (int j : {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1})
            mask[5 * w + 5 + j] = 0, mask[5 * w + 15 + j] = 1;
        mask[5 * w + 5] = 1, mask[5 * w + 15] = 0;

        // The plain rule's weighted sum over the 3 x 3 neighbours of an inner pixel.
        auto sum = [&](int i, auto value) {
            float s = 0;
            for (int k = 0; k < 9; ++k)
                s += value(i + (k / 3 - 1) * w + k % 3 - 1) * kernel[k];
            return s;
        };
        std::vector<uint8_t> expectedPlane = plane, expectedRgb = rgb;
        std::vector<float> expectedPhase = phase;
        for (int v = 1; v < h - 1; ++v) {
            for (int u = 1; u < w - 1; ++u) {
                const int i = v * w + u;
                expectedPlane[i] = uint8_t(double(sum(i, [&](int j) { return float(plane[j]); })) + 0.5);
                for (int c = 0; c < 3; ++c)
                    expectedRgb[3 * i + c] =
                        uint8_t(double(sum(i, [&](int j) { return float(rgb[3 * j + c]); })) + 0.5);
                if (mask[i])
                    expectedPhase[i] = sum(i, [&](int j) { return mask[j] ? phase[j] : 0.0f; }) /
                                       sum(i, [&](int j) { return float(mask[j]); });
            }
        }

        const int threads = RowPool::instance().threadCount();
        Demosaicer demosaicer(w, h);
        std::vector<uint8_t> demosaiced;
        for (int pass = 0; pass < 4; ++pass) {
            RowPool::instance().setThreadCount(pass < 2 ? 1 : 5);
            std::vector<uint8_t> smoothed = plane, smoothedRgb = rgb, colour(3 * n);
            std::vector<float> smoothedPhase = phase;
            demosaicer.filter.gaussianSmooth(smoothed.data(), 3);
            demosaicer.filter.maskedGaussianSmooth(smoothedPhase.data(), mask.data(), 3);
            demosaicer.smoothColor(smoothedRgb.data());
            QVERIFY(smoothed == expectedPlane && smoothedRgb == expectedRgb &&
                    std::memcmp(smoothedPhase.data(), expectedPhase.data(), 4 * phase.size()) == 0);
            demosaicer.demosaic(plane.data(), colour.data());
            QVERIFY(pass == 0 || colour == demosaiced);
            demosaiced = colour;
        }
        RowPool::instance().setThreadCount(threads);
    }

    void frameLayoutAndCounter() {
        // Beyond 2 GiB the offsets keep counting.
        PtvHeader p = sequenceHeader(1280, 1024, 1000);
        QCOMPARE(p.frameOffset(400), qint64(457) + 400 * qint64(6553600));
        p.colorTexture = 1;
        QCOMPARE(p.frameSize(), qint64(7 * 1310720));
        const QByteArray bytes = ptvHeaderBytes(sequenceHeader(3, 2, 7, 1));
        const auto *raw = reinterpret_cast<const unsigned char *>(bytes.constData());
        QVERIFY(bytes.size() == 457 && readField<float>(raw, 20) == 25.0f &&
                readField<int32_t>(raw, 24) == 7 && readField<int32_t>(raw, 28) == 3 &&
                readField<int32_t>(raw, 32) == 2 && raw[36] == 1 && readField<double>(raw, 41) == 50.0 &&
                readField<double>(raw, 137 + 8 * 11) == 10.0);

        // Playback shows frames 1 to N - 1 in a loop, never frame 0, unless there is one frame only;
        // paused after frame 3 and resumed, it goes on with 4.
        auto run = [](int counter, int frames, int ticks) {
            QVector<int> shown;
            for (int t = 0; t < ticks; ++t)
                shown << (counter = nextPtvFrame(counter, frames));
            return shown;
        };
        QCOMPARE(run(1, 1, 3), (QVector<int>{0, 0, 0}));
        QCOMPARE(run(1, 2, 3), (QVector<int>{1, 1, 1}));
        QCOMPARE(run(1, 5, 7), (QVector<int>{2, 3, 4, 1, 2, 3, 4}));
        QCOMPARE(run(3, 5, 3), (QVector<int>{4, 1, 2}));

        // A loop range plays every frame from its start to its end, in order, then again from its start,
        // and a counter outside it comes back to its start. An open bound reaches the file's end; a start
        // past the end drops the end, an end before the start the start; a file cut short below the range
        // plays whole, by the file's own rule.
        const struct {
            const char *set; // I K starts the range at frame K, O K ends it there, in this order
            int counter, frames;
            QVector<int> shown;
        } loops[] = {{"I 10 O 14", 9, 20, {10, 11, 12, 13, 14, 10}},
                     {"I 10 O 14", 16, 20, {10, 11, 12, 13, 14, 10}},
                     {"I 5 O 6", 6, 20, {5, 6, 5, 6, 5, 6}},
                     {"I 5 O 5", 5, 20, {5, 5, 5, 5, 5, 5}},
                     {"I 2 O 4", 7, 4, {2, 3, 2, 3, 2, 3}},
                     {"O 3", 2, 8, {3, 0, 1, 2, 3, 0}},
                     {"I 5", 5, 8, {6, 7, 5, 6, 7, 5}},
                     {"I 5 O 3", 0, 8, {1, 2, 3, 0, 1, 2}},
                     {"O 2 I 3", 0, 8, {3, 4, 5, 6, 7, 3}},
                     {"I 5", 3, 4, run(3, 4, 6)}};
        for (const auto &l : loops) {
            LoopRange range;
            const QStringList set = QString(l.set).split(' ');
            for (int i = 0; i < set.size(); i += 2)
                set[i] == "I" ? range.setStart(set[i + 1].toInt()) : range.setEnd(set[i + 1].toInt());
            QVector<int> shown;
            for (int t = 0, counter = l.counter; t < 6; ++t)
                shown << (counter = range.next(counter, l.frames));
            QVERIFY2(shown == l.shown, l.set);
        }
        LoopRange range;
        range.setStart(2);
        QCOMPARE(range.bounds(2), (std::pair<int32_t, int32_t>(0, 1)));
    }

    // A decoded frame is the PT load of its phase and texture with valid phases smoothed: saved as a
    // capture it keeps its texture bytes as read, and reloads as it was shown.
    void decodedFrameIsThePtPipelinePlusSmoothing_data() {
        QTest::addColumn<int>("colour");
        QTest::newRow("mosaic") << 0;
        QTest::newRow("three bytes") << 1;
    }
    void decodedFrameIsThePtPipelinePlusSmoothing() {
        QFETCH(int, colour);
        QTemporaryDir dir;
        const PtvHeader p = sequenceHeader(9, 7, 3, uint8_t(colour));
        const QString saved = dir.filePath("saved.pt");
        FrameSource source;
        ScanFrameStore store, reloaded;
        QString error;
        QVERIFY(openSequence(source, dir.filePath("s.ptv"), p, 3));
        QVERIFY(source.framesFound() == 3 && source.shortfall().isEmpty());
        const int n = 63, textureBytes = int(p.textureBytes());
        for (int k : {2, 1, 2}) {
            QVERIFY2(source.readFrame(k, store, &error), qPrintable(error));
            const QByteArray frame = ptvFile(p, 3).mid(int(p.frameOffset(k)), int(p.frameSize()));
            QVERIFY2(savePtFile(store, saved, &error) && loadPtFile(reloaded, saved, &error),
                     qPrintable(error));
            QCOMPARE(readAll(saved).mid(28, 1) + readAll(saved).right(textureBytes),
                     char(colour) + frame.right(textureBytes));
            QVERIFY(shownPixels(reloaded) == shownPixels(store) &&
                    std::memcmp(store.monoTexture.get(), reloaded.monoTexture.get(), n) == 0);
            std::vector<float> phase(n);
            std::memcpy(phase.data(), frame.constData(), 4 * n);
            ImageFilter(9, 7).maskedGaussianSmooth(phase.data(), reloaded.mask.get(), 3);
            QVERIFY(std::memcmp(phase.data(), store.phase.get(), 4 * n) == 0);
        }
        // Fewer frames than promised: the ones there play, and the shortfall is told.
        QVERIFY(openSequence(source, dir.filePath("short.ptv"), sequenceHeader(4, 3, 5), 3));
        QCOMPARE(source.framesFound(), 3);
        QCOMPARE(source.shortfall(), "the file holds 3 of the 5 frames its header promises");
    }

    // A tick of unchanged size allocates nothing, also with depth jumps hidden and at a coarser level
    // of detail. A frame that cannot be read, as when the file shrinks under the player, leaves the
    // frame shown as it was, and the frames still there play.
    void playbackTicks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ptv");
        PtvHeader p = sequenceHeader(64, 48, 4);              // frames larger than the stream's buffer
        p.calibration = VirtualScanner(64, 48).calibration(); // a camera the depth-jump rule can measure
        FrameSource source;
        ScanFrameStore store;
        FrameMesh mesh;
        MeshSettings settings;
        QString error;
        QVERIFY(openSequence(source, path, p, 4));
        int frame = 1, ticks = 0;
        settings.hideDepthJumps = true;
        auto tick = [&] {
            frame = nextPtvFrame(frame, source.framesFound());
            const bool decoded = source.readFrame(frame, store, &error);
            settings.stride = ticks++ < 2 ? 1 : 1 + ticks % 2;
            buildPhaseMesh(store, settings, mesh);
            return decoded;
        };
        QVERIFY(tick() && tick()); // the first ticks size the arrays and the filters' memory
        QVERIFY(DepthJumpRule(store, DepthJumpRule::kDefaultFactor, 2).enabled());
        const long before = allocations.load();
        for (int k = 0; k < 4; ++k)
            QVERIFY(tick());
        QCOMPARE(allocations.load() - before, 0L);

        const QByteArray shown = storeSnapshot(store); // frame 1, as the last tick left it
        QVERIFY(QFile::resize(path, p.frameOffset(2) + 50));
        for (int k : {2, 3}) {
            QVERIFY(!source.readFrame(k, store, &error) && error.contains("could not be read"));
            QCOMPARE(storeSnapshot(store), shown);
        }
        QVERIFY(source.readFrame(1, store, &error));
        QCOMPARE(storeSnapshot(store), shown);
    }
};

QTEST_GUILESS_MAIN(TestScanFiles)
#include "test_scan_files.moc"
