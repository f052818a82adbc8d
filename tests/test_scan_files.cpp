#include "broken_files.h"
#include "data/file_info_rows.h"
#include "data/pt_file.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "test_support.h"

#include <QDateTime>
#include <QtTest>

#include <cstring>

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
            const bool loaded = loadScanFile(store, path, &error);
            QVERIFY2(loaded == file.legal, qPrintable(file.name + ": " + error));
            const bool pt = file.name.endsWith(".pt");
            if (loaded) {
                QCOMPARE(store.frameKind, int32_t(file.name.endsWith(".xyzm") ? XyzmFrame
                                                  : pt                        ? PtFrame
                                                                              : PtvFrame));
                const char *fault = drawableFrameFault(store);
                QVERIFY2(!fault, qPrintable(file.name + ": " + fault));
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

    // The facts come from the measured pixels, not the framing estimates.
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
};

QTEST_GUILESS_MAIN(TestScanFiles)
#include "test_scan_files.moc"
