#include "broken_files.h"
#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"
#include "data/scan_frame_store.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
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
    p.frameRate = 25.0f, p.frameCount = frames, p.width = w, p.height = h, p.colorTexture = colorTexture;
    const double camera[12] = {50, 0, 20, 0, 0, 50, 15, 0, 0, 0, 1, 0};
    const double projector[12] = {60, 0, 30, 100, 0, 55, 20, -4000, 0, -0.2, 1, 10};
    std::copy(camera, camera + 12, p.calibration.cameraProjection);
    std::copy(projector, projector + 12, p.calibration.projectorProjection);
    return p;
}

QString writeSequence(const QString &path, const PtvHeader &p, int framesWritten) {
    writeAll(path, ptvFile(p, framesWritten));
    return path;
}

// A sequence file opened as the player opens it.
struct OpenSequence {
    PTVReader reader;
    std::FILE *file = nullptr;
    PtvHeader header;
    QString error;
    ScanFrameStore store;
    PtvFrameDecoder decoder;
    bool ok = false;
    explicit OpenSequence(const QString &path) {
        ok = reader.openStream(path, file, &error) && reader.readHeader(file, header, &error) &&
             beginPtvSequence(store, header, &error);
    }
    bool decode(int frame) { return decoder.decodeFrame(file, header, frame, store, &error); }
    ~OpenSequence() { reader.closeStream(file); }
};

} // namespace

class TestSequences : public QObject {
    Q_OBJECT

  private slots:
    void frameLayoutAndCounter() {
        PtvHeader p = header(640, 480, 2);
        QCOMPARE(p.frameOffset(3), qint64(457 + 3 * 1536000));
        p.colorTexture = 1;
        QCOMPARE(p.frameSize(), qint64(7 * 307200));
        // Beyond 2 GiB the offsets keep counting.
        p = header(1280, 1024, 1000);
        QCOMPARE(p.frameOffset(400), qint64(457) + 400 * qint64(6553600));
        const QByteArray bytes = ptvHeaderBytes(header(3, 2, 7, 1));
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
    }

    // A decoded frame is the PT load of its phase and texture with valid phases smoothed; saved as a
    // capture it keeps its texture bytes as read and reloads with the same colours and mask.
    void decodedFrameIsThePtPipelinePlusSmoothing_data() {
        QTest::addColumn<int>("colour");
        QTest::newRow("mosaic") << 0;
        QTest::newRow("three bytes") << 1;
    }
    void decodedFrameIsThePtPipelinePlusSmoothing() {
        QFETCH(int, colour);
        QTemporaryDir dir;
        const PtvHeader p = header(9, 7, 3, uint8_t(colour));
        OpenSequence seq(writeSequence(dir.filePath("s.ptv"), p, 3));
        QVERIFY2(seq.ok && seq.header.framesFound == 3, qPrintable(seq.error));
        QVERIFY(shortSequenceMessage(seq.header).isEmpty());
        const int n = 63, textureBytes = int(p.textureBytes());
        for (int k : {2, 1, 2}) {
            QVERIFY2(seq.decode(k), qPrintable(seq.error));
            QCOMPARE(seq.store.frameKind, int32_t(PtvFrame));
            const QByteArray frame =
                readAll(dir.filePath("s.ptv")).mid(int(p.frameOffset(k)), int(p.frameSize()));
            PtHeader pt;
            pt.width = p.width, pt.height = p.height, pt.colorTexture = p.colorTexture, pt.mosaicCode = 0;
            pt.calibration = p.calibration;
            const auto *texture = reinterpret_cast<const uint8_t *>(frame.constData() + 4 * n);
            QVERIFY(writePtFile(dir.filePath("f.pt"), reinterpret_cast<const float *>(frame.constData()),
                                texture, pt, &seq.error));
            ScanFrameStore reference;
            QVERIFY(loadPtFile(reference, dir.filePath("f.pt"), &seq.error));
            ImageFilter(9, 7).maskedGaussianSmooth(reference.phase.get(), reference.mask.get(), 3);
            QVERIFY(shownPixels(seq.store) == shownPixels(reference) &&
                    std::memcmp(seq.store.monoTexture.get(), reference.monoTexture.get(), n) == 0);

            const QString saved = dir.filePath("saved.pt");
            QVERIFY2(savePtFile(seq.store, saved, &seq.error), qPrintable(seq.error));
            QCOMPARE(readAll(saved).mid(28, 1), QByteArray(1, char(colour)));
            QCOMPARE(readAll(saved).right(textureBytes), frame.right(textureBytes));
            ScanFrameStore reloaded;
            QVERIFY(loadPtFile(reloaded, saved, &seq.error));
            QVERIFY(shownPixels(reloaded).mid(4 * n) == shownPixels(seq.store).mid(4 * n));
        }
        // Fewer frames than promised: the ones there play, and the shortfall is told.
        OpenSequence shortSeq(writeSequence(dir.filePath("short.ptv"), header(4, 3, 5), 3));
        QCOMPARE(shortSeq.header.framesFound, 3);
        QCOMPARE(shortSequenceMessage(shortSeq.header),
                 "the file holds 3 of the 5 frames its header promises");
    }

    // A tick of unchanged size allocates nothing. A frame that cannot be read, as when the file
    // shrinks under the player, leaves the frame shown as it was, and the frames still there play.
    void playbackTicks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ptv");
        const PtvHeader p = header(64, 48, 4); // frames larger than the stream's buffer
        OpenSequence seq(writeSequence(path, p, 4));
        int frame = 1;
        auto tick = [&] {
            frame = nextPtvFrame(frame, seq.header.framesFound);
            const bool decoded = seq.decode(frame);
            seq.store.buildPhaseMesh();
            return decoded;
        };
        QVERIFY(tick() && tick()); // the first ticks size the arrays and the filters' memory
        const long before = allocations.load();
        for (int k = 0; k < 5; ++k)
            QVERIFY(tick());
        QCOMPARE(allocations.load() - before, 0L);

        QVERIFY(seq.decode(1));
        seq.store.computePhaseStatistics();
        seq.store.buildPhaseMesh();
        const QByteArray shown = storeSnapshot(seq.store);
        QVERIFY(QFile::resize(path, p.frameOffset(2) + 50));
        for (int k : {2, 3}) {
            QVERIFY(!seq.decode(k) && seq.error.contains("could not be read"));
            QCOMPARE(storeSnapshot(seq.store), shown);
        }
        QVERIFY(seq.decode(1));
        QCOMPARE(storeSnapshot(seq.store), shown);
    }

    // Frame k of the sample sequence is the moving scene at time k / rate, measured where it is.
    void sampleSequenceFilmsTheMovingSurface() {
        QTemporaryDir dir;
        const QString path = dir.filePath("walk.ptv");
        QString error;
        QVERIFY(writeSampleSequence(path, 120, 90, 4, 2.0f, &error));
        OpenSequence seq(path);
        QVERIFY(seq.ok && seq.header.frameCount == 4 && seq.header.frameRate == 2.0f);
        // The third quartile of the relative depth error against the scene at a time.
        auto depthError = [&seq](double time) {
            const SyntheticCapture truth = VirtualScanner(120, 90).capture(time);
            std::vector<double> errors;
            for (size_t i = 0; i < truth.measured.size(); ++i)
                if (truth.measured[i] && seq.store.mask[i])
                    errors.push_back(std::fabs(seq.store.xyz[3 * i + 2] / truth.xyz[3 * i + 2] - 1));
            std::nth_element(errors.begin(), errors.begin() + long(errors.size() * 3 / 4), errors.end());
            return errors[errors.size() * 3 / 4];
        };
        for (int k = 0; k < 4; ++k) {
            QVERIFY(seq.decode(k));
            seq.store.computeCoordinatesFromPhase();
            const SyntheticCapture truth = VirtualScanner(120, 90).capture(k / 2.0);
            QVERIFY(std::equal(truth.measured.begin(), truth.measured.end(), seq.store.mask.get(),
                               [](uint8_t a, uint8_t b) { return (a != 0) == (b != 0); }));
            QVERIFY(depthError(k / 2.0) < 3e-3 && depthError((k + 1) / 2.0) > 1e-2); // not another moment
        }
    }
};

QTEST_GUILESS_MAIN(TestSequences)
#include "test_sequences.moc"
