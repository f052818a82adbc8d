// Inputs the fuzz targets found, each rebuilt here byte by byte, with the outcome a sound reader
// gives them: refused with its reason, the frame shown before left as it was.

#include "data/binary_file.h"
#include "data/pt_file.h"
#include "data/ptv_reader.h"
#include "data/xyzm_file.h"
#include "sample/sample_files.h"
#include "test_support.h"

#include <QtTest>

#include <climits>
#include <cstring>

namespace {

QByteArray ptHeaderBytes(int32_t width, int32_t height) {
    unsigned char b[PtHeader::kSize] = {};
    writeField<int32_t>(b, 0, 1);
    std::memcpy(b + 4, "2026-12-06-15-13", 16);
    writeField<int32_t>(b, 20, width);
    writeField<int32_t>(b, 24, height);
    return QByteArray(reinterpret_cast<const char *>(b), PtHeader::kSize);
}

QByteArray ptvBytes(float rate, int32_t frames, int32_t width, int32_t height) {
    PtvHeader header;
    std::memcpy(header.captureTime, "2026-12-06-15-13", 16);
    header.frameRate = rate;
    header.frameCount = frames;
    header.width = width;
    header.height = height;
    return ptvHeaderBytes(header);
}

QString tooLarge(qint64 width, qint64 height) {
    return QStringLiteral("frame of %1 x %2 pixels is too large").arg(width).arg(height);
}

} // namespace

class FuzzRegressions : public QObject {
    Q_OBJECT

  private slots:
    // Both sides near the 32-bit limit made 3 x W x H overflow 64 bits, so the size check passed
    // frames no memory could hold. The limit itself is unchanged.
    void ptAndPtvSidesNearTheLimitAreTooLarge() {
        QString error;
        QVERIFY(checkFrameSize(715827882, 1, &error));
        QVERIFY(checkFrameSize(1, 715827882, &error));
        QVERIFY(checkFrameSize(26754, 26754, &error));
        QVERIFY(!checkFrameSize(715827883, 1, &error));
        QCOMPARE(error, tooLarge(715827883, 1));
        QVERIFY(!checkFrameSize(26755, 26755, &error));
        QCOMPARE(error, tooLarge(26755, 26755));
        QVERIFY(!checkFrameSize(INT_MAX, INT_MAX, &error));
        QCOMPARE(error, tooLarge(INT_MAX, INT_MAX));
        QVERIFY(!checkFrameSize(9999999999LL, 9999999999LL, &error));
        QCOMPARE(error, tooLarge(9999999999LL, 9999999999LL));

        QTemporaryDir dir;
        ScanFrameStore store;
        showSmallFrame(store);
        const QByteArray before = storeSnapshot(store);

        // The PT capture the fuzzer found: 2038004089 x 2038004089 and 624 bytes after the header.
        const QString pt = dir.filePath(QStringLiteral("huge.pt"));
        for (int32_t side : {2038004089, INT_MAX}) {
            writeAll(pt, ptHeaderBytes(side, side) + QByteArray(624, '\x79'));
            error.clear();
            QVERIFY(!loadPtFile(store, pt, &error));
            QCOMPARE(error, tooLarge(side, side));
            QCOMPARE(storeSnapshot(store), before);
        }

        // The sequence it found: 1835887981 x 1835887981 at a tiny rate, 39 bytes after the header.
        const QString ptv = dir.filePath(QStringLiteral("huge.ptv"));
        for (int32_t side : {1835887981, INT_MAX}) {
            writeAll(ptv, ptvBytes(2.6552120289125014e-06f, 758264109, side, side) + QByteArray(39, '\0'));
            PTVReader reader;
            std::FILE *file = nullptr;
            QVERIFY(reader.openStream(ptv, file, &error));
            PtvHeader header;
            error.clear();
            const bool read = reader.readHeader(file, header, &error);
            reader.closeStream(file);
            QVERIFY(!read);
            QCOMPARE(error, tooLarge(side, side));
        }
    }

    // Ten digits per side let W x H pass 2^64: 2147418113 x 8590196740 is 2^64 + 4, so the size
    // check saw a frame of 4 pixels, the 64 bytes after the text matched it, and the store took a
    // frame of 2147418113 x 262148 over buffers of 4 pixels.
    void xyzmSidesOfTenDigitsAreTooLarge() {
        QTemporaryDir dir;
        ScanFrameStore store;
        showSmallFrame(store);
        const QByteArray before = storeSnapshot(store);
        const QString path = dir.filePath(QStringLiteral("huge.xyzm"));
        struct Case {
            const char *text;
            int dataBytes;
            QString error;
        };
        const Case cases[] = {
            {"image size width x height = 2147418113 x 8590196740", 64, tooLarge(2147418113LL, 8590196740LL)},
            {"image size width x height = 4294836226 x 4295098370", 64, tooLarge(4294836226LL, 4295098370LL)},
            {"image size width x height = 9999999999 x 9999999999", 0, tooLarge(9999999999LL, 9999999999LL)},
            {"image size width x height = 715827883 x 1", 0, tooLarge(715827883, 1)},
            // One pixel under the limit is still a frame; only the missing bytes refuse it.
            {"image size width x height = 715827882 x 1", 0, sizeMismatchMessage(41 + 16 * 715827882LL, 41)},
        };
        for (const Case &c : cases) {
            writeAll(path, QByteArray(c.text) + QByteArray(c.dataBytes, '\0'));
            QString error;
            QVERIFY2(!loadXYZMFile(store, path, &error, nullptr), c.text);
            QCOMPARE(error, c.error);
            QCOMPARE(storeSnapshot(store), before);
        }
    }
};

QTEST_GUILESS_MAIN(FuzzRegressions)
#include "test_fuzz_regressions.moc"
