#include "broken_files.h"
#include "data/binary_file.h"
#include "data/frame_source.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "sample/sample_files.h"
#include "sequence_frames.h"
#include "test_support.h"

#include <QtTest>

#include <atomic>
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

class TestSequences : public QObject {
    Q_OBJECT

  private slots:
    void frameLayoutAndCounter() {
        // Beyond 2 GiB the offsets keep counting.
        PtvHeader p = header(1280, 1024, 1000);
        QCOMPARE(p.frameOffset(400), qint64(457) + 400 * qint64(6553600));
        p.colorTexture = 1;
        QCOMPARE(p.frameSize(), qint64(7 * 1310720));
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
        const PtvHeader p = header(9, 7, 3, uint8_t(colour));
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
        QVERIFY(openSequence(source, dir.filePath("short.ptv"), header(4, 3, 5), 3));
        QCOMPARE(source.framesFound(), 3);
        QCOMPARE(source.shortfall(), "the file holds 3 of the 5 frames its header promises");
    }

    // A tick of unchanged size allocates nothing. A frame that cannot be read, as when the file
    // shrinks under the player, leaves the frame shown as it was, and the frames still there play.
    void playbackTicks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("s.ptv");
        const PtvHeader p = header(64, 48, 4); // frames larger than the stream's buffer
        FrameSource source;
        ScanFrameStore store;
        QString error;
        QVERIFY(openSequence(source, path, p, 4));
        int frame = 1;
        auto tick = [&] {
            frame = nextPtvFrame(frame, source.framesFound());
            const bool decoded = source.readFrame(frame, store, &error);
            store.buildPhaseMesh();
            return decoded;
        };
        QVERIFY(tick() && tick()); // the first ticks size the arrays and the filters' memory
        const long before = allocations.load();
        for (int k = 0; k < 4; ++k)
            QVERIFY(tick());
        QCOMPARE(allocations.load() - before, 0L);

        const QByteArray shown = storeSnapshot(store); // frame 1 and its mesh, as the last tick left them
        QVERIFY(QFile::resize(path, p.frameOffset(2) + 50));
        for (int k : {2, 3}) {
            QVERIFY(!source.readFrame(k, store, &error) && error.contains("could not be read"));
            QCOMPARE(storeSnapshot(store), shown);
        }
        QVERIFY(source.readFrame(1, store, &error));
        QCOMPARE(storeSnapshot(store), shown);
    }
};

QTEST_GUILESS_MAIN(TestSequences)
#include "test_sequences.moc"
