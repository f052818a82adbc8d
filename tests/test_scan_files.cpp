#include "broken_files.h"
#include "data/demosaicer.h"
#include "data/file_info_rows.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "test_support.h"

#include <QRegularExpression>
#include <QtTest>

#include <cstring>

namespace {

PtHeader ptHeader(int w, int h, uint8_t colorTexture, int32_t mosaicCode) {
    PtHeader header;
    std::memcpy(header.captureTime, "2026-03-14-09-05", 16);
    header.width = w;
    header.height = h;
    header.colorTexture = colorTexture;
    header.mosaicCode = mosaicCode;
    auto *blocks = reinterpret_cast<double *>(&header.calibration);
    for (int i = 0; i < 52; ++i)
        blocks[i] = 0.1 * (i + 1);
    return header;
}

bool same(const void *a, const void *b, size_t bytes) {
    return std::memcmp(a, b, bytes) == 0;
}

} // namespace

class TestScanFiles : public QObject {
    Q_OBJECT

  private slots:
    void xyzmLayoutAndRoundTrip() {
        QTemporaryDir dir;
        const QString path = dir.filePath("two.xyzm");
        const float xyz[6] = {1.5f, -2.0f, 300.25f, 4.0f, 5.0f, -6.5f};
        const uint8_t texture[6] = {10, 20, 30, 40, 50, 60}, mask[2] = {1, 7};
        QString error;
        QVERIFY(writeXYZMFile(path, xyz, texture, mask, 2, 1, &error, nullptr));
        QCOMPARE(readAll(path), "image size width x height = 2 x 1" +
                                    QByteArray(reinterpret_cast<const char *>(xyz), 24) +
                                    QByteArray(reinterpret_cast<const char *>(texture), 6) + "\x01\x07");
        ScanFrameStore store;
        store.frameKind = PtFrame;
        QVERIFY2(loadXYZMFile(store, path, &error, nullptr), qPrintable(error));
        QCOMPARE(store.frameKind, int32_t(XyzmFrame));
        QCOMPARE(QSize(store.width, store.height), QSize(2, 1));
        QVERIFY(same(store.xyz.get(), xyz, 24) && same(store.rgbTexture.get(), texture, 6) &&
                same(store.mask.get(), mask, 2));

        // A failed save leaves what was there: a folder of that name, or no file at all.
        QVERIFY(QDir(dir.path()).mkdir("taken.xyzm"));
        QVERIFY(!writeXYZMFile(dir.filePath("taken.xyzm"), xyz, texture, mask, 2, 1, &error, nullptr));
        QVERIFY(!error.isEmpty() && QFileInfo(dir.filePath("taken.xyzm")).isDir());
        QVERIFY(!writeXYZMFile(dir.filePath("no/such.xyzm"), xyz, texture, mask, 2, 1, &error, nullptr));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"two.xyzm"});
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
        std::vector<float> phase(n);
        std::vector<uint8_t> texture(size_t(n * bytesPerPixel));
        for (int i = 0; i < n; ++i)
            phase[size_t(i)] = 100.25f + float(i);
        for (size_t b = 0; b < texture.size(); ++b)
            texture[b] = b % 7 == 3 ? 0 : uint8_t(b * 37 + 5); // some pixels unmeasured
        const PtHeader header = ptHeader(w, h, uint8_t(colour), mosaicCode);
        QTemporaryDir dir;
        QString error;
        QVERIFY(writePtFile(dir.filePath("in.pt"), phase.data(), texture.data(), header, &error));
        ScanFrameStore store;
        QVERIFY2(loadPtFile(store, dir.filePath("in.pt"), &error), qPrintable(error));
        QCOMPARE(store.frameKind, int32_t(PtFrame));
        const CalibrationBlocks calibration = storedCalibration(store);
        QVERIFY(same(&calibration, &header.calibration, sizeof calibration));
        QCOMPARE(store.m_Tc[2], 1.2f);

        // The mask is the texture byte, or the red byte of three; the colour is the mosaic
        // demosaiced and smoothed, the grey byte three times, or the three bytes as they are.
        std::vector<uint8_t> rgb(3 * size_t(n));
        if (colour) {
            rgb = texture;
        } else if (mosaicCode >= 0) {
            Demosaicer demosaicer(w, h);
            demosaicer.demosaic(texture.data(), rgb.data());
            fillMosaicEdges(texture.data(), rgb.data(), w, h);
            demosaicer.smoothColor(rgb.data());
        } else {
            for (int i = 0; i < 3 * n; ++i)
                rgb[size_t(i)] = texture[size_t(i / 3)];
        }
        QVERIFY(same(store.rgbTexture.get(), rgb.data(), rgb.size()));
        for (int i = 0; i < n; ++i) {
            QCOMPARE(store.mask[i], texture[size_t(i * bytesPerPixel)]);
            QVERIFY(!store.mask[i] || store.monoTexture[i]);
        }

        // A coordinate frame has no phase: refused, and nothing is written.
        store.frameKind = XyzmFrame;
        QVERIFY(!savePtFile(store, dir.filePath("none.pt"), &error));
        QVERIFY(!QFile::exists(dir.filePath("none.pt")));
    }

    // Every broken file is refused with its reason and leaves the frame shown before as it was,
    // down to where its buffers live; every odd but legal one gives a frame the view can draw.
    void brokenFilesLeaveTheShownFrame() {
        QTemporaryDir dir;
        ScanFrameStore store;
        auto brokenFilesAndMissing = brokenFiles(true);
        brokenFilesAndMissing.push_back({"missing.pt", {}, false, "No such file"});
        for (const BrokenFile &file : brokenFilesAndMissing) {
            showSmallFrame(store);
            const QByteArray before = bufferAddresses(store) + storeSnapshot(store);
            const QString path = dir.filePath(file.name);
            if (file.name != "missing.pt")
                writeAll(path, file.bytes);
            QString error;
            const bool loaded = loadScanFile(store, path, &error);
            QVERIFY2(loaded == file.legal, qPrintable(file.name + ": " + error));
            if (loaded) {
                const char *fault = drawableFrameFault(store);
                QVERIFY2(!fault, qPrintable(file.name + ": " + fault));
                // Saved again, a capture gives its own bytes back but for the time of the save.
                if (file.name.endsWith(".pt")) {
                    QVERIFY(savePtFile(store, dir.filePath("saved.pt"), &error));
                    QByteArray saved = readAll(dir.filePath("saved.pt"));
                    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d$")
                                .match(QString::fromLatin1(saved.mid(4, 16)))
                                .hasMatch());
                    QVERIFY2(saved.replace(4, 16, file.bytes.mid(4, 16)) == file.bytes,
                             qPrintable(file.name));
                }
            } else {
                QVERIFY2(!error.isEmpty() && error.contains(file.reason),
                         qPrintable(file.name + ": " + error));
                QVERIFY2(bufferAddresses(store) + storeSnapshot(store) == before, qPrintable(file.name));
            }
        }
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
        QStringList values;
        for (const auto &row : fileInfoRows(store).mid(4))
            values << row.second;
        QCOMPARE(values, (QStringList{"4", "2", "[ -12.5 , 250 ]", "[ 0.000123 , 1.23457e+06 ]",
                                      "[ -3 , 0.5 ]", "[ 118.75 , 617284, -1.25 ]"}));
    }

    // Before any file the store holds an empty frame, never what the allocator left there.
    void startUpFrameIsEmpty() {
        for (int round = 0; round < 3; ++round) {
            auto store = std::make_unique<ScanFrameStore>();
            const size_t n = size_t(store->pixelCount);
            const std::vector<uint8_t> zeros(12 * n, 0);
            QVERIFY(same(store->mask.get(), zeros.data(), n) &&
                    same(store->monoTexture.get(), zeros.data(), n) &&
                    same(store->rgbTexture.get(), zeros.data(), 3 * n) &&
                    same(store->phase.get(), zeros.data(), 4 * n) &&
                    same(store->xyz.get(), zeros.data(), 12 * n));
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
