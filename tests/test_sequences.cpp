#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"
#include "data/scan_frame_store.h"
#include "sample/sample_files.h"
#include "test_support.h"

#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

// Every allocation of this test program is counted, to show that a playback tick makes none.
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

PtvHeader header(int w, int h, int frames, uint8_t colorTexture = 0) {
    PtvHeader p;
    std::memcpy(p.captureTime, "2026-03-14-09-05", 16);
    p.frameRate = 25.0f;
    p.frameCount = frames;
    p.width = w;
    p.height = h;
    p.colorTexture = colorTexture;
    const double camera[12] = {50, 0, 20, 0, 0, 50, 15, 0, 0, 0, 1, 0};
    const double projector[12] = {60, 0, 30, 100, 0, 55, 20, -4000, 0, -0.2, 1, 10};
    std::copy(camera, camera + 12, p.calibration.cameraProjection);
    std::copy(projector, projector + 12, p.calibration.projectorProjection);
    return p;
}

// Frame k of a sequence: phases and a mosaic that differ from frame to frame, with some pixels
// unmeasured.
QByteArray frameBytes(const PtvHeader &p, int k) {
    const int n = p.width * p.height;
    std::vector<float> phase(static_cast<size_t>(n));
    std::vector<uint8_t> texture(size_t(p.textureBytes()));
    for (int i = 0; i < n; ++i)
        phase[size_t(i)] = 100.0f + 0.37f * float(i % p.width) + 1.9f * float(i / p.width) + 10.0f * float(k);
    for (size_t b = 0; b < texture.size(); ++b)
        texture[b] = uint8_t((b * 37 + size_t(k) * 11) % 256);
    return QByteArray(reinterpret_cast<const char *>(phase.data()), 4 * n) +
           QByteArray(reinterpret_cast<const char *>(texture.data()), int(texture.size()));
}

QByteArray sequenceBytes(const PtvHeader &p, int framesWritten) {
    QByteArray bytes = ptvHeaderBytes(p);
    for (int k = 0; k < framesWritten; ++k)
        bytes += frameBytes(p, k);
    return bytes;
}

struct OpenSequence {
    PTVReader reader;
    std::FILE *file = nullptr;
    PtvHeader header;
    QString error;
    bool ok = false;
    explicit OpenSequence(const QString &path) {
        ok = reader.openStream(path, file, &error) && reader.readHeader(file, header, &error);
    }
    ~OpenSequence() { reader.closeStream(file); }
};

} // namespace

class TestSequences : public QObject {
    Q_OBJECT

  private slots:
    void frameLayout() {
        PtvHeader p = header(640, 480, 2);
        QCOMPARE(p.frameSize(), qint64(1536000));
        QCOMPARE(p.frameOffset(3), qint64(457 + 3 * 1536000));
        p.colorTexture = 1;
        QCOMPARE(p.frameSize(), qint64(7 * 307200));
        // Beyond 2 GiB the offsets keep counting.
        p = header(1280, 1024, 1000);
        QCOMPARE(p.frameOffset(400), qint64(457) + 400 * qint64(6553600));

        const QByteArray bytes = ptvHeaderBytes(header(3, 2, 7));
        QCOMPARE(bytes.size(), 457);
        const auto *raw = reinterpret_cast<const unsigned char *>(bytes.constData());
        QCOMPARE(readField<float>(raw, 20), 25.0f);
        QCOMPARE(readField<int32_t>(raw, 24), 7);
        QCOMPARE(readField<int32_t>(raw, 28), 3);
        QCOMPARE(readField<double>(raw, 41), 50.0);
        QCOMPARE(readField<double>(raw, 137 + 8 * 11), 10.0);
    }

    void frameCounter() {
        auto run = [](int counter, int frames, int ticks) {
            QVector<int> shown;
            for (int t = 0; t < ticks; ++t)
                shown << (counter = nextPtvFrame(counter, frames));
            return shown;
        };
        QCOMPARE(run(1, 1, 3), (QVector<int>{0, 0, 0})); // one frame: shown, not skipped
        QCOMPARE(run(1, 2, 3), (QVector<int>{1, 1, 1}));
        QCOMPARE(run(1, 5, 7), (QVector<int>{2, 3, 4, 1, 2, 3, 4}));
        // Paused after frame 3, resumed: on with 4, then round again, never frame 0.
        QCOMPARE(run(3, 5, 3), (QVector<int>{4, 1, 2}));
    }

    void decodedFrameIsThePtPipelinePlusPhaseSmoothing() {
        QTemporaryDir dir;
        const PtvHeader p = header(9, 7, 3);
        writeAll(dir.filePath("s.ptv"), sequenceBytes(p, 3));
        OpenSequence seq(dir.filePath("s.ptv"));
        QVERIFY2(seq.ok, qPrintable(seq.error));
        QCOMPARE(seq.header.framesFound, 3);
        QVERIFY(shortSequenceMessage(seq.header).isEmpty());

        ScanFrameStore store;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(store, seq.header, &seq.error));
        QCOMPARE(store.pixelCount, 63);
        QCOMPARE(store.cameraProjection[0], 50.0);
        for (int k : {2, 1, 2}) {
            QVERIFY2(decoder.decodeFrame(seq.file, seq.header, k, store, &seq.error), qPrintable(seq.error));
            QCOMPARE(store.frameKind, int32_t(PtvFrame));

            // The same phase and texture through the PT load path, then the masked phase smoothing.
            const QByteArray frame = frameBytes(p, k);
            PtHeader pt;
            pt.width = p.width, pt.height = p.height, pt.mosaicCode = 0, pt.calibration = p.calibration;
            QString error;
            QVERIFY(writePtFile(dir.filePath("f.pt"), reinterpret_cast<const float *>(frame.constData()),
                                reinterpret_cast<const uint8_t *>(frame.constData() + 4 * 63), pt, &error));
            ScanFrameStore reference;
            QVERIFY(loadPtFile(reference, dir.filePath("f.pt"), &error));
            ImageFilter(9, 7).maskedGaussianSmooth(reference.phase.get(), reference.mask.get(), 3);
            QVERIFY(std::memcmp(store.phase.get(), reference.phase.get(), 4 * 63) == 0);
            QVERIFY(std::memcmp(store.rgbTexture.get(), reference.rgbTexture.get(), 3 * 63) == 0);
            QVERIFY(std::memcmp(store.mask.get(), reference.mask.get(), 63) == 0);
            QVERIFY(std::memcmp(store.monoTexture.get(), frame.constData() + 4 * 63, 63) == 0);
        }
    }

    void threeByteFramesPlayInColour() {
        QTemporaryDir dir;
        const PtvHeader p = header(5, 4, 2, 1);
        writeAll(dir.filePath("c.ptv"), sequenceBytes(p, 2));
        OpenSequence seq(dir.filePath("c.ptv"));
        QVERIFY(seq.ok);
        ScanFrameStore store;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(store, seq.header, &seq.error));
        QVERIFY(decoder.decodeFrame(seq.file, seq.header, 1, store, &seq.error));
        const QByteArray frame = frameBytes(p, 1);
        const auto *rgb = reinterpret_cast<const uint8_t *>(frame.constData() + 4 * 20);
        QVERIFY(std::memcmp(store.rgbTexture.get(), rgb, 60) == 0);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(store.mask[i], rgb[3 * i]);
            QCOMPARE(store.monoTexture[i] != 0, rgb[3 * i] != 0);
        }

        // Saved as a single capture (the viewer's Save and convert --frame), the frame keeps its
        // three colour bytes as read, and reloads with the same colours and mask.
        const QString saved = dir.filePath("f1.pt");
        QVERIFY2(savePtFile(store, saved, &seq.error), qPrintable(seq.error));
        std::unique_ptr<float[]> phase;
        std::unique_ptr<uint8_t[]> texture;
        PtHeader written;
        QVERIFY(readPtFile(saved, phase, texture, written, &seq.error));
        QCOMPARE(written.colorTexture, uint8_t(1));
        QVERIFY(std::memcmp(texture.get(), rgb, 60) == 0);
        ScanFrameStore reloaded;
        QVERIFY(loadPtFile(reloaded, saved, &seq.error));
        QVERIFY(std::memcmp(reloaded.rgbTexture.get(), store.rgbTexture.get(), 60) == 0);
        QVERIFY(std::memcmp(reloaded.mask.get(), store.mask.get(), 20) == 0);
    }

    void brokenSequencesAreRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.ptv");
        auto refuse = [&](const QByteArray &bytes, const char *expected) {
            writeAll(path, bytes);
            OpenSequence seq(path);
            QVERIFY(!seq.ok);
            QVERIFY2(seq.error.contains(expected), qPrintable(seq.error));
        };
        const QByteArray good = sequenceBytes(header(4, 3, 2), 2);
        auto patched = [&](int offset, auto value) {
            QByteArray b = good;
            b.replace(offset, int(sizeof value),
                      QByteArray(reinterpret_cast<const char *>(&value), int(sizeof value)));
            return b;
        };
        for (int length = 0; length < 457; ++length)
            refuse(good.left(length), "expected at least 457 bytes");
        refuse(good.left(457 + 59), "no complete frame: expected at least 517 bytes, found 516 bytes");
        refuse(patched(0, int32_t(0)), "unsupported PTV version 0");
        refuse(patched(0, int32_t(2)), "unsupported PTV version 2");
        refuse(patched(20, 0.0f), "invalid frame rate 0");
        refuse(patched(20, -15.0f), "invalid frame rate");
        refuse(patched(20, NAN), "invalid frame rate");
        refuse(patched(20, INFINITY), "invalid frame rate");
        refuse(patched(24, int32_t(0)), "invalid frame count 0");
        refuse(patched(24, int32_t(-3)), "invalid frame count");
        refuse(patched(28, int32_t(-4)), "invalid frame size -4 x 3");
        refuse(patched(32, int32_t(0)), "invalid frame size 4 x 0");
        refuse(patched(28, int32_t(1 << 30)), "too large");

        // Fewer frames than promised: the ones there play, and the shortfall is told.
        writeAll(path, sequenceBytes(header(4, 3, 5), 3) + "partial");
        OpenSequence seq(path);
        QVERIFY(seq.ok);
        QCOMPARE(seq.header.framesFound, 3);
        QCOMPARE(shortSequenceMessage(seq.header), "the file holds 3 of the 5 frames its header promises");
    }

    void aTickAllocatesNothing() {
        QTemporaryDir dir;
        const PtvHeader p = header(64, 48, 4);
        writeAll(dir.filePath("s.ptv"), sequenceBytes(p, 4));
        OpenSequence seq(dir.filePath("s.ptv"));
        QVERIFY(seq.ok);
        ScanFrameStore store;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(store, seq.header, &seq.error));
        int frame = 1;
        auto tick = [&] {
            frame = nextPtvFrame(frame, seq.header.framesFound);
            const bool decoded = decoder.decodeFrame(seq.file, seq.header, frame, store, &seq.error);
            store.buildPhaseMesh();
            return decoded;
        };
        QVERIFY(tick() && tick()); // the first ticks size the arrays and the filters' memory
        const long before = allocations.load();
        for (int k = 0; k < 5; ++k)
            QVERIFY(tick());
        QCOMPARE(allocations.load() - before, 0L);
    }

    void shortReadKeepsTheFrameShown() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ptv");
        const PtvHeader p = header(64, 48, 3); // frames larger than the stream's buffer
        writeAll(path, sequenceBytes(p, 3));
        OpenSequence seq(path);
        QVERIFY(seq.ok);
        ScanFrameStore store;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(store, seq.header, &seq.error));
        QVERIFY(decoder.decodeFrame(seq.file, seq.header, 1, store, &seq.error));
        store.computePhaseStatistics();
        store.buildPhaseMesh();
        const QByteArray shown = storeSnapshot(store);

        // The file shrinks under the player, as when a capture is overwritten.
        QVERIFY(QFile::resize(path, p.frameOffset(2) + 50));
        QVERIFY(!decoder.decodeFrame(seq.file, seq.header, 2, store, &seq.error));
        QVERIFY(seq.error.contains("could not be read"));
        QCOMPARE(storeSnapshot(store), shown);
        QVERIFY(!decoder.decodeFrame(seq.file, seq.header, 3, store, &seq.error));
        QCOMPARE(storeSnapshot(store), shown);
        QVERIFY(decoder.decodeFrame(seq.file, seq.header, 1, store, &seq.error));
        QCOMPARE(storeSnapshot(store), shown);
    }

    void sampleSequenceFilmsTheMovingSurface() {
        QTemporaryDir dir;
        const QString path = dir.filePath("walk.ptv");
        const int frames = 4;
        const float rate = 2.0f;
        QString error;
        QVERIFY(writeSampleSequence(path, 120, 90, frames, rate, &error));
        OpenSequence seq(path);
        QVERIFY(seq.ok);
        QCOMPARE(seq.header.frameCount, frames);
        QCOMPARE(seq.header.frameRate, rate);

        const VirtualScanner scanner(120, 90);
        ScanFrameStore store;
        PtvFrameDecoder decoder;
        QVERIFY(beginPtvSequence(store, seq.header, &seq.error));
        std::vector<float> previousDepth;
        for (int k = 0; k < frames; ++k) {
            const SyntheticCapture truth = scanner.capture(k / double(rate));
            // Raw phases: every measured pixel triangulates back to the surface at that moment.
            QVERIFY(fseeko(seq.file, seq.header.frameOffset(k), SEEK_SET) == 0);
            QVERIFY(seq.reader.readFrame(seq.file, store.phase.get(), store.monoTexture.get(), 0,
                                         store.pixelCount));
            std::memcpy(store.mask.get(), store.monoTexture.get(), size_t(store.pixelCount));
            store.computeCoordinatesFromPhase();
            std::vector<float> depth(size_t(store.pixelCount));
            for (int i = 0; i < store.pixelCount; ++i) {
                QCOMPARE(store.mask[i] != 0, truth.measured[size_t(i)] != 0);
                depth[size_t(i)] = store.xyz[3 * i + 2];
                if (store.mask[i])
                    QVERIFY(std::fabs(store.xyz[3 * i + 2] - truth.xyz[3 * size_t(i) + 2]) <
                            1e-4f * truth.xyz[3 * size_t(i) + 2]);
            }
            QVERIFY2(depth != previousDepth, "the scene moves from frame to frame");
            previousDepth = depth;

            // Decoded as playback shows it, smoothing keeps the surface where it was.
            QVERIFY(decoder.decodeFrame(seq.file, seq.header, k, store, &seq.error));
            store.computeCoordinatesFromPhase();
            std::vector<double> errors;
            for (int i = 0; i < store.pixelCount; ++i)
                if (store.mask[i])
                    errors.push_back(std::fabs(store.xyz[3 * i + 2] - truth.xyz[3 * size_t(i) + 2]) /
                                     truth.xyz[3 * size_t(i) + 2]);
            std::nth_element(errors.begin(), errors.begin() + long(errors.size() / 2), errors.end());
            QVERIFY(errors[errors.size() / 2] < 1e-3);
        }
    }
};

QTEST_GUILESS_MAIN(TestSequences)
#include "test_sequences.moc"
