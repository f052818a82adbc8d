// The frames of a sequence by index through the cache that holds them, and the worker that reads ahead.
#include "playback/player.h"
#include "sample/sample_files.h"
#include "sequence/frame_sequence.h"
#include "sequence_frames.h"

#include <QtTest>

#include <limits>

class TestSequence : public QObject {
    Q_OBJECT

  private slots:
    // Frames come back as a source decodes them on its own; the cache never holds more than its
    // budget, frames behind the play head cost no read, the worker reads the frames wanted next, and
    // a file cut short behind the cache is told as without one.
    void cacheHoldsFramesWithinItsBudget() {
        QTemporaryDir dir;
        const QString path = dir.filePath("walk.ptv");
        QString error;
        QVERIFY2(writeSampleSequence(path, 64, 48, 12, 15.0f, &error), qPrintable(error));
        FrameSequence sizing(1 << 30);
        QVERIFY(sizing.open(path, &error) && sizing.frame(0, &error));
        const int64_t each = sizing.bytesHeld();
        QVERIFY(each > 0);

        FrameSequence sequence(4 * each);
        QVERIFY(sequence.open(path, &error));
        for (int k = 0; k < 8; ++k) {
            const SharedFrame frame = sequence.frame(k, &error);
            QVERIFY2(frame, qPrintable(error));
            QCOMPARE(shownPixels(*frame), decodedPtvFrame(path, k));
            QVERIFY(sequence.bytesHeld() <= sequence.budget());
        }
        QCOMPARE(sequence.framesDecoded(), int64_t(8));
        for (int k = 7; k >= 4; --k)
            QVERIFY(sequence.frame(k, &error));
        QCOMPARE(sequence.framesDecoded(), int64_t(8));
        QVERIFY(sequence.frame(3, &error) && sequence.framesDecoded() == 9);

        // Reading ahead takes half the budget: two frames here.
        sequence.readAhead({3, 4, 5, 6, 7, 8, 9});
        sequence.readAhead({8, 9, 10, 11});
        QTRY_VERIFY(sequence.cached(8) && sequence.cached(9));
        QVERIFY(sequence.bytesHeld() <= sequence.budget());
        const int64_t decoded = sequence.framesDecoded();
        QVERIFY(sequence.frame(9, &error) && sequence.framesDecoded() == decoded);

        // A frame held in the cache of a file since cut short is read again, and fails as it would.
        QVERIFY(QFile::resize(path, 457 + 5 * 5 * 64 * 48));
        QVERIFY(!sequence.frame(9, &error));
        QVERIFY2(error.contains("frame 9 could not be read completely"), qPrintable(error));
        QVERIFY(sequence.followFile(&error) && sequence.framesFound() == 5 && sequence.framesHeld() == 0);
    }

    // The player's clock runs at the file's rate; a seek outside the file shows nothing; another
    // sequence opened with the counter past its first frames is framed on its own first frame; a
    // rate far below a frame a second waits the longest interval the timer takes.
    void playerPlaysSequences() {
        QTemporaryDir dir;
        QString error;
        QVERIFY(writeSampleSequence(dir.filePath("walk.ptv"), 48, 36, 5, 100.0f, &error));
        QVERIFY(writeSampleSequence(dir.filePath("aside.ptv"), 48, 36, 7, 100.0f, &error,
                                    VirtualScanner::OffCentre));
        QVERIFY(writeSampleSequence(dir.filePath("still.ptv"), 40, 30, 3, 1e-30f, &error));
        FrameSequence walk, aside, still;
        Player player;
        QSignalSpy shown(&player, &Player::frameReady);
        QVERIFY2(walk.open(dir.filePath("walk.ptv"), &error) && player.play(walk, &error), qPrintable(error));
        QVERIFY(player.interval() == 10 && player.isPlaying());
        player.pause();
        player.pause();
        QVERIFY(!player.isPlaying());
        const int before = shown.count();
        for (int outside : {-1, 5})
            QVERIFY(!player.seek(outside, &error));
        QCOMPARE(shown.count(), before);
        QVERIFY(player.seek(4, &error) && player.frameShown() == 4);

        QVERIFY(aside.open(dir.filePath("aside.ptv"), &error) && player.play(aside, &error));
        QVERIFY(shown.last().at(1).toInt() == 5 && shown.last().at(2).toBool());
        player.pause();
        QVERIFY(still.open(dir.filePath("still.ptv"), &error) && player.play(still, &error));
        QCOMPARE(player.interval(), std::numeric_limits<int>::max());
        player.stop();
    }
};

QTEST_GUILESS_MAIN(TestSequence)
#include "test_sequence.moc"
