#include "data/binary_file.h"
#include "data/file_info_rows.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "test_support.h"

#include <QRegularExpression>
#include <QtTest>

#include <cstring>

namespace {

// A 2 x 1 coordinate frame with distinct values everywhere.
struct SmallXyzm {
    float xyz[6] = {1.5f, -2.0f, 300.25f, 4.0f, 5.0f, -6.5f};
    uint8_t texture[6] = {10, 20, 30, 40, 50, 60};
    uint8_t mask[2] = {1, 7};
};

QByteArray ptBytes(const PtHeader &header, const std::vector<float> &phase,
                   const std::vector<uint8_t> &texture, const QString &path) {
    QString error;
    if (!writePtFile(path, phase.data(), texture.data(), header, &error))
        return {};
    return readAll(path);
}

PtHeader smallPtHeader(int w, int h, uint8_t colorTexture, int32_t mosaicCode) {
    PtHeader header;
    std::memcpy(header.captureTime, "2026-03-14-09-05", 16);
    header.width = w;
    header.height = h;
    header.colorTexture = colorTexture;
    header.mosaicCode = mosaicCode;
    for (int i = 0; i < 12; ++i) {
        header.calibration.cameraProjection[i] = 0.1 * (i + 1);
        header.calibration.projectorProjection[i] = -0.3 * (i + 1);
    }
    for (int i = 0; i < 9; ++i)
        header.calibration.cameraMatrix[i] = header.calibration.projectorMatrix[i] = i;
    for (int i = 0; i < 5; ++i)
        header.calibration.cameraCoefficients[i] = header.calibration.projectorCoefficients[i] = -i;
    return header;
}

} // namespace

class TestScanFiles : public QObject {
    Q_OBJECT

  private slots:
    void xyzmLayoutAndRoundTrip() {
        QTemporaryDir dir;
        const QString path = dir.filePath("two.xyzm");
        SmallXyzm f;
        QString error;
        QVERIFY(writeXYZMFile(path, f.xyz, f.texture, f.mask, 2, 1, &error, nullptr));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.size(), 65);
        QCOMPARE(bytes.left(33), QByteArray("image size width x height = 2 x 1"));
        QCOMPARE(bytes.mid(33, 24), QByteArray(reinterpret_cast<const char *>(f.xyz), 24));
        QCOMPARE(bytes.mid(57, 6), QByteArray(reinterpret_cast<const char *>(f.texture), 6));
        QCOMPARE(bytes.mid(63), QByteArray("\x01\x07", 2));

        ScanFrameStore store;
        store.frameKind = PtFrame;
        QVERIFY2(loadXYZMFile(store, path, &error, nullptr), qPrintable(error));
        QCOMPARE(store.frameKind, int32_t(XyzmFrame));
        QCOMPARE(store.width, 2);
        QCOMPARE(store.height, 1);
        QCOMPARE(store.pixelCount, 2);
        QVERIFY(std::memcmp(store.xyz.get(), f.xyz, sizeof f.xyz) == 0);
        QVERIFY(std::memcmp(store.rgbTexture.get(), f.texture, 6) == 0);
        QVERIFY(std::memcmp(store.mask.get(), f.mask, 2) == 0);

        // The header is matched the scanf way: blanks around '=' and 'x' may be missing.
        const QString lenient = dir.filePath("lenient.xyzm");
        writeAll(lenient, "image size width x height=2 x1" + bytes.mid(33));
        QVERIFY2(loadXYZMFile(store, lenient, &error, nullptr), qPrintable(error));
        QCOMPARE(store.width, 2);
        QVERIFY(std::memcmp(store.xyz.get(), f.xyz, sizeof f.xyz) == 0);
    }

    void xyzmCoordinateBytesThatLookLikeDigits() {
        QTemporaryDir dir;
        QString error;
        // Heights 1 and 12, each followed by coordinate bytes '0' and '7' that a digit scan would eat.
        for (int height : {1, 12}) {
            std::vector<float> xyz(3 * 2 * size_t(height), 1.0f);
            std::memcpy(xyz.data(), "07\x80\x3f", 4);
            std::vector<uint8_t> texture(3 * 2 * size_t(height), 9), mask(2 * size_t(height), 1);
            const QString path = dir.filePath(QString("digits%1.xyzm").arg(height));
            QVERIFY(writeXYZMFile(path, xyz.data(), texture.data(), mask.data(), 2, height, &error, nullptr));
            ScanFrameStore store;
            QVERIFY2(loadXYZMFile(store, path, &error, nullptr), qPrintable(error));
            QCOMPARE(store.height, height);
            QVERIFY(std::memcmp(store.xyz.get(), xyz.data(), 4 * xyz.size()) == 0);
        }
    }

    void xyzmBrokenFilesLeaveTheStoreAlone() {
        QTemporaryDir dir;
        SmallXyzm f;
        QString error;
        const QString good = dir.filePath("good.xyzm");
        QVERIFY(writeXYZMFile(good, f.xyz, f.texture, f.mask, 2, 1, &error, nullptr));
        const QByteArray bytes = readAll(good);

        ScanFrameStore store;
        QVERIFY(loadXYZMFile(store, good, &error, nullptr));
        store.buildCoordinateMesh();
        const QByteArray before = storeSnapshot(store);
        const QString bad = dir.filePath("bad.xyzm");
        auto refuse = [&](const QByteArray &content, const char *expected) {
            writeAll(bad, content);
            error.clear();
            QVERIFY2(!loadXYZMFile(store, bad, &error, nullptr), content.left(40).constData());
            QVERIFY2(error.contains(expected), qPrintable(error));
            QCOMPARE(storeSnapshot(store), before);
        };
        for (int length = 0; length < bytes.size(); ++length)
            refuse(bytes.left(length), length < 33 ? "" : "expected 65 bytes, found");
        refuse(bytes + "x", "expected 65 bytes, found 66 bytes");
        refuse("image size width x height = -2 x 1" + bytes.mid(33), "invalid frame size -2 x 1");
        refuse("image size width x height = 2 x 0" + bytes.mid(33), "invalid frame size 2 x 0");
        refuse("image size width x height = 50000 x 50000", "too large");
        refuse("image size width y height = 2 x 1" + bytes.mid(33), "not an XYZM file");
        QVERIFY(!loadXYZMFile(store, dir.filePath("missing.xyzm"), &error, nullptr));
        QVERIFY(!error.isEmpty());
        QCOMPARE(storeSnapshot(store), before);
    }

    void ptLayoutAndRoundTrip() {
        QTemporaryDir dir;
        const std::vector<float> phase = {123.5f};
        const std::vector<uint8_t> one = {200}, three = {1, 2, 3};
        const PtHeader header = smallPtHeader(1, 1, 0, 1);
        const QByteArray bytes = ptBytes(header, phase, one, dir.filePath("a.pt"));
        QCOMPARE(bytes.size(), 454);
        // A name outside Latin-1 reads and writes like any other.
        const QString named = dir.filePath(QString::fromUtf8("\xc3\xa9t\xc3\xa9_\xe6\x89\xab.pt"));
        QCOMPARE(ptBytes(smallPtHeader(1, 1, 1, 1), phase, three, named).size(), 456);
        const auto *raw = reinterpret_cast<const unsigned char *>(bytes.constData());
        QCOMPARE(readField<int32_t>(raw, 0), 1);
        QCOMPARE(bytes.mid(4, 16), QByteArray("2026-03-14-09-05"));
        QCOMPARE(readField<int32_t>(raw, 29), 1);
        QCOMPARE(readField<double>(raw, 33), 0.1);       // camera projection, unaligned
        QCOMPARE(readField<double>(raw, 129), -0.3);     // projector projection
        QCOMPARE(readField<double>(raw, 297 + 8), -1.0); // camera coefficients follow the camera matrix
        QCOMPARE(readField<float>(raw, 449), 123.5f);

        std::unique_ptr<float[]> readPhase;
        std::unique_ptr<uint8_t[]> readTexture;
        PtHeader read;
        QString error;
        QVERIFY(readPtFile(named, readPhase, readTexture, read, &error));
        QCOMPARE(read.colorTexture, uint8_t(1));
        QCOMPARE(readTexture[2], uint8_t(3));
        QVERIFY(std::memcmp(&read.calibration, &header.calibration, sizeof header.calibration) == 0);
    }

    void ptLoadFillsTextureAndMask() {
        QTemporaryDir dir;
        QString error;
        ScanFrameStore store;
        const std::vector<float> phase = {1, 2, 3, 4};

        // A 2 x 2 mosaic is one block and all border: demosaiced, untouched by smoothing.
        const std::vector<uint8_t> mosaic = {10, 21, 31, 40};
        ptBytes(smallPtHeader(2, 2, 0, 0), phase, mosaic, dir.filePath("m.pt"));
        QVERIFY2(loadPtFile(store, dir.filePath("m.pt"), &error), qPrintable(error));
        const uint8_t expected[12] = {10, 25, 40, 10, 21, 40, 10, 31, 40, 10, 25, 40};
        QVERIFY(std::memcmp(store.rgbTexture.get(), expected, 12) == 0);
        QCOMPARE(store.frameKind, int32_t(PtFrame));
        QVERIFY(std::memcmp(store.mask.get(), mosaic.data(), 4) == 0);
        QVERIFY(std::memcmp(store.monoTexture.get(), mosaic.data(), 4) == 0);
        QCOMPARE(store.cameraProjection[11], 1.2);
        QCOMPARE(store.m_Tc[2], 1.2f);

        // Grey: three equal bytes per pixel.
        const std::vector<uint8_t> grey = {0, 5, 6, 7};
        ptBytes(smallPtHeader(2, 2, 0, -1), phase, grey, dir.filePath("g.pt"));
        QVERIFY(loadPtFile(store, dir.filePath("g.pt"), &error));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(store.rgbTexture[3 * i], grey[i]);
            QCOMPARE(store.rgbTexture[3 * i + 2], grey[i]);
            QCOMPARE(store.mask[i], grey[i]);
        }

        // Three bytes: the red byte alone decides validity.
        const std::vector<uint8_t> rgb = {0, 90, 90, 5, 0, 0, 1, 2, 3, 4, 5, 6};
        ptBytes(smallPtHeader(2, 2, 1, 1), phase, rgb, dir.filePath("c.pt"));
        QVERIFY(loadPtFile(store, dir.filePath("c.pt"), &error));
        QVERIFY(std::memcmp(store.rgbTexture.get(), rgb.data(), 12) == 0);
        QCOMPARE(store.mask[0], uint8_t(0));
        QCOMPARE(store.mask[1], uint8_t(5));
        QVERIFY(store.monoTexture[1] != 0);
    }

    void ptBrokenFilesLeaveTheStoreAlone() {
        QTemporaryDir dir;
        QString error;
        const std::vector<float> phase = {1, 2, 3, 4};
        const std::vector<uint8_t> texture = {9, 9, 9, 9};
        const QByteArray bytes = ptBytes(smallPtHeader(2, 2, 0, 1), phase, texture, dir.filePath("good.pt"));
        QCOMPARE(bytes.size(), 449 + 16 + 4);

        ScanFrameStore store;
        QVERIFY(loadPtFile(store, dir.filePath("good.pt"), &error));
        store.computePhaseStatistics();
        store.buildPhaseMesh();
        const QByteArray before = storeSnapshot(store);
        const QString bad = dir.filePath("bad.pt");
        auto refuse = [&](const QByteArray &content, const char *expected) {
            writeAll(bad, content);
            error.clear();
            QVERIFY(!loadPtFile(store, bad, &error));
            QVERIFY2(error.contains(expected), qPrintable(error));
            QCOMPARE(storeSnapshot(store), before);
        };
        auto patched = [&](int offset, int32_t value) {
            QByteArray b = bytes;
            b.replace(offset, 4, QByteArray(reinterpret_cast<const char *>(&value), 4));
            return b;
        };
        for (int length = 0; length < bytes.size(); ++length)
            refuse(bytes.left(length),
                   length < 449 ? "expected at least 449 bytes" : "expected 469 bytes, found");
        refuse(bytes + "junk", "expected 469 bytes, found 473 bytes");
        refuse(patched(0, 0), "unsupported PT version 0");
        refuse(patched(0, 2), "unsupported PT version 2");
        refuse(patched(20, -2), "invalid frame size -2 x 2");
        refuse(patched(24, 0), "invalid frame size 2 x 0");
        refuse(patched(20, 400000000), "too large");
        QByteArray colour = bytes;
        colour[28] = 1; // three bytes per pixel, but the file holds one
        refuse(colour, "expected 477 bytes");
    }

    void ptSaveGivesTheSameFrameBack() {
        QTemporaryDir dir;
        QString error;
        const std::vector<float> phase = {1.25f, 2, 3, 4, 5, 6};
        struct Case {
            uint8_t colorTexture;
            int32_t mosaicCode;
            std::vector<uint8_t> texture;
        } cases[] = {{0, 0, {0, 20, 30, 40, 50, 60}},
                     {0, -1, {7, 0, 30, 40, 50, 60}},
                     {1, 1, {1, 2, 3, 0, 9, 9, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}};
        for (const Case &c : cases) {
            const PtHeader header = smallPtHeader(3, 2, c.colorTexture, c.mosaicCode);
            ptBytes(header, phase, c.texture, dir.filePath("in.pt"));
            ScanFrameStore store;
            QVERIFY(loadPtFile(store, dir.filePath("in.pt"), &error));
            QVERIFY2(savePtFile(store, dir.filePath("out.pt"), &error), qPrintable(error));

            std::unique_ptr<float[]> savedPhase;
            std::unique_ptr<uint8_t[]> savedTexture;
            PtHeader saved;
            QVERIFY(readPtFile(dir.filePath("out.pt"), savedPhase, savedTexture, saved, &error));
            QCOMPARE(saved.colorTexture, c.colorTexture);
            QCOMPARE(saved.mosaicCode, c.mosaicCode);
            QVERIFY(std::memcmp(savedPhase.get(), phase.data(), 24) == 0);
            QVERIFY(std::memcmp(savedTexture.get(), c.texture.data(), c.texture.size()) == 0);
            QVERIFY(std::memcmp(&saved.calibration, &header.calibration, sizeof header.calibration) == 0);
            QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d$")
                        .match(QString::fromLatin1(saved.captureTime, 16))
                        .hasMatch());

            ScanFrameStore reloaded;
            QVERIFY(loadPtFile(reloaded, dir.filePath("out.pt"), &error));
            QVERIFY(std::memcmp(reloaded.rgbTexture.get(), store.rgbTexture.get(), 18) == 0);
            QVERIFY(std::memcmp(reloaded.mask.get(), store.mask.get(), 6) == 0);
        }

        // An XYZM frame has no phase: refused, and nothing is written.
        ScanFrameStore store;
        store.frameKind = XyzmFrame;
        QVERIFY(!savePtFile(store, dir.filePath("none.pt"), &error));
        QVERIFY(!QFile::exists(dir.filePath("none.pt")));
    }

    void failedSaveKeepsTheFileThatWasThere() {
        QTemporaryDir dir;
        QString error;
        SmallXyzm f;
        // A folder of that name cannot be replaced by a file.
        QVERIFY(QDir(dir.path()).mkdir("taken.xyzm"));
        QVERIFY(!writeXYZMFile(dir.filePath("taken.xyzm"), f.xyz, f.texture, f.mask, 2, 1, &error, nullptr));
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(dir.filePath("taken.xyzm")).isDir());
        QVERIFY(!writeXYZMFile(dir.filePath("no/such/folder.xyzm"), f.xyz, f.texture, f.mask, 2, 1, &error,
                               nullptr));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 0);
    }

    // The facts come from the measured pixels, not the framing estimates; numbers as the table
    // writes them.
    void fileInfoRowsTellMeasuredFacts() {
        ScanFrameStore store;
        store.fileName = "scan.pt";
        resizeStore(store, 4, 1);
        const float points[12] = {-12.5f, 0.000123f, -3, 250, 1234567, 0.5f, 1e9f, 1e9f, 1e9f, NAN, 0, 0};
        std::copy(points, points + 12, store.xyz.get());
        store.mask[2] = 0; // far away, but not measured
        store.centerOfMass = QVector3D(7, 7, 7);
        store.validCoordinateCount = 42;
        const auto rows = fileInfoRows(store);
        QCOMPARE(rows.size(), 10);
        QCOMPARE(rows[0], qMakePair(QString("File name:"), QString("scan.pt")));
        QCOMPARE(rows[4], qMakePair(QString("Frame size:"), QString("4")));
        QCOMPARE(rows[5], qMakePair(QString("Valid coordinates:"), QString("2")));
        QCOMPARE(rows[6], qMakePair(QString("X Range:"), QString("[ -12.5 , 250 ]")));
        QCOMPARE(rows[7].second, QString("[ 0.000123 , 1.23457e+06 ]"));
        QCOMPARE(rows[8].second, QString("[ -3 , 0.5 ]"));
        QCOMPARE(rows[9], qMakePair(QString("Center of Mass:"), QString("[ 118.75 , 617284, -1.25 ]")));
    }

    // Before any file the store holds an empty frame, never what the allocator left there.
    void startUpFrameIsEmpty() {
        for (int round = 0; round < 3; ++round) {
            auto store = std::make_unique<ScanFrameStore>();
            const int64_t n = store->pixelCount;
            QVERIFY(std::all_of(store->mask.get(), store->mask.get() + n, [](uint8_t b) { return b == 0; }));
            QVERIFY(std::all_of(store->monoTexture.get(), store->monoTexture.get() + n,
                                [](uint8_t b) { return b == 0; }));
            QVERIFY(std::all_of(store->rgbTexture.get(), store->rgbTexture.get() + 3 * n,
                                [](uint8_t b) { return b == 0; }));
            QVERIFY(std::all_of(store->phase.get(), store->phase.get() + n, [](float f) { return f == 0; }));
            QVERIFY(std::all_of(store->xyz.get(), store->xyz.get() + 3 * n, [](float f) { return f == 0; }));
            // Leave litter for the next store to be built in the same memory.
            std::fill_n(store->mask.get(), n, uint8_t(0x5a));
            std::fill_n(store->monoTexture.get(), n, uint8_t(0x5a));
            std::fill_n(store->rgbTexture.get(), 3 * n, uint8_t(0x5a));
            std::fill_n(store->phase.get(), n, 1.5f);
            std::fill_n(store->xyz.get(), 3 * n, 1.5f);
        }
    }
};

QTEST_GUILESS_MAIN(TestScanFiles)
#include "test_scan_files.moc"
