#include "data/demosaicer.h"
#include "data/image_filter.h"
#include "data/scan_frame_store.h"
#include "sample/virtual_scanner.h"
#include "support/row_pool.h"

#include <QtTest>

#include <cstring>
#include <vector>

class TestImageFilters : public QObject {
    Q_OBJECT

  private slots:
    void gaussianKernelWeights() {
        std::unique_ptr<float[]> kernel;
        ImageFilter::makeGaussianKernel(kernel, 3);
        const float centre = 0.2041800f, edge = 0.1238414f, corner = 0.0751136f;
        const float expected[9] = {corner, edge, corner, edge, centre, edge, corner, edge, corner};
        float sum = 0;
        for (int i = 0; i < 9; ++i) {
            QVERIFY2(std::fabs(kernel[i] - expected[i]) < 5e-7f,
                     qPrintable(QString::number(kernel[i], 'g', 9)));
            sum += kernel[i];
        }
        QVERIFY(std::fabs(sum - 1.0f) < 1e-6f);
    }

    void demosaicBlocks() {
        // One block: green is the halved sum where the pixel has no green sample of its own.
        Demosaicer two(2, 2);
        const uint8_t mosaic[4] = {10, 21, 31, 40};
        uint8_t rgb[12];
        two.demosaic(mosaic, rgb);
        const uint8_t expected[12] = {10, 25, 40, 10, 21, 40, 10, 31, 40, 10, 25, 40};
        QVERIFY(std::memcmp(rgb, expected, 12) == 0);

        const uint8_t bright[4] = {0, 255, 255, 0};
        two.demosaic(bright, rgb);
        QCOMPARE(rgb[1], uint8_t(254));
        QCOMPARE(rgb[10], uint8_t(254));

        // A 3 x 3 mosaic writes the top-left 2 x 2 pixels only.
        Demosaicer three(3, 3);
        std::vector<uint8_t> nine(9, 100), out(27, 7);
        three.demosaic(nine.data(), out.data());
        for (int i = 0; i < 9; ++i) {
            const bool written = i == 0 || i == 1 || i == 3 || i == 4;
            QCOMPARE(out[3 * i], uint8_t(written ? 100 : 7));
        }
        fillMosaicEdges(nine.data(), out.data(), 3, 3);
        QVERIFY(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 100; }));
    }

    // The fast paths against the rule written out plainly: a float sum in kernel order, rows
    // outer, rounded by adding 0.5 in double; valid neighbours only for the phase.
    void fastPathsFollowThePlainRule() {
        const int w = 41, h = 29;
        std::unique_ptr<float[]> kernel;
        ImageFilter::makeGaussianKernel(kernel, 3);
        std::vector<uint8_t> plane(w * h), mask(w * h);
        std::vector<float> phase(w * h);
        uint32_t seed = 12345;
        auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        for (int i = 0; i < w * h; ++i) {
            plane[i] = uint8_t(next() >> 24);
            mask[i] = (next() >> 30) ? 1 : 0;
            phase[i] = float(next() >> 8) / 65536.0f - 100.0f;
        }
        // A valid pixel alone among invalid ones, and an invalid one among valid ones.
        for (int j : {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1}) {
            mask[5 * w + 5 + j] = 0;
            mask[5 * w + 15 + j] = 1;
        }
        mask[5 * w + 5] = 1;
        mask[5 * w + 15] = 0;
        std::vector<uint8_t> expectedPlane = plane;
        std::vector<float> expectedPhase = phase;
        for (int v = 1; v < h - 1; ++v) {
            for (int u = 1; u < w - 1; ++u) {
                float s = 0, ws = 0, ps = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int j = (v + dy) * w + u + dx;
                        const float k = kernel[(dy + 1) * 3 + dx + 1];
                        s += float(plane[j]) * k;
                        if (mask[j]) {
                            ws += k;
                            ps += k * phase[j];
                        }
                    }
                }
                expectedPlane[v * w + u] = uint8_t(double(s) + 0.5);
                if (mask[v * w + u])
                    expectedPhase[v * w + u] = ps / ws;
            }
        }
        // The same filter twice: the scratch memory it keeps between frames changes no result.
        ImageFilter filter(w, h);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<uint8_t> smoothed = plane;
            std::vector<float> smoothedPhase = phase;
            filter.gaussianSmooth(smoothed.data(), 3);
            filter.maskedGaussianSmooth(smoothedPhase.data(), mask.data(), 3);
            QCOMPARE(smoothed, expectedPlane);
            QVERIFY(std::memcmp(smoothedPhase.data(), expectedPhase.data(), 4 * phase.size()) == 0);
        }

        // A frame of 2 x 2 is all border.
        ImageFilter tiny(2, 2);
        std::vector<uint8_t> corners = {1, 200, 3, 250};
        tiny.gaussianSmooth(corners.data(), 3);
        QCOMPARE(corners, (std::vector<uint8_t>{1, 200, 3, 250}));
    }

    void smoothingTheTextureEqualsSmoothingItsPlanes() {
        const int w = 37, h = 23;
        std::vector<uint8_t> rgb(3 * w * h);
        for (size_t b = 0; b < rgb.size(); ++b)
            rgb[b] = uint8_t((b * 7919) % 251);
        std::vector<uint8_t> planes[3];
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < w * h; ++i)
                planes[c].push_back(rgb[3 * i + c]);
        Demosaicer demosaicer(w, h);
        demosaicer.smoothColor(rgb.data());
        ImageFilter filter(w, h);
        for (int c = 0; c < 3; ++c) {
            filter.gaussianSmooth(planes[c].data(), 3);
            for (int i = 0; i < w * h; ++i)
                QCOMPARE(rgb[3 * i + c], planes[c][size_t(i)]);
        }
    }

    // Bands of rows go to several threads; the frame must come out the same bit for bit.
    void threadsChangeNoBit() {
        const SyntheticCapture capture = VirtualScanner(331, 203).capture(0.3);
        auto run = [&capture](int threads) {
            RowPool::instance().setThreadCount(threads);
            ScanFrameStore store;
            store.releaseFrameBuffers();
            store.width = capture.width, store.height = capture.height,
            store.pixelCount = capture.width * capture.height;
            store.allocateFrameBuffers();
            const size_t n = size_t(store.pixelCount);
            std::memcpy(store.phase.get(), capture.phase.data(), 4 * n);
            std::memcpy(store.mask.get(), capture.mosaic.data(), n);
            std::memcpy(store.xyz.get(), capture.xyz.data(), 12 * n);
            Demosaicer demosaicer(store.width, store.height);
            demosaicer.demosaic(capture.mosaic.data(), store.rgbTexture.get());
            fillMosaicEdges(capture.mosaic.data(), store.rgbTexture.get(), store.width, store.height);
            demosaicer.smoothColor(store.rgbTexture.get());
            demosaicer.filter.maskedGaussianSmooth(store.phase.get(), store.mask.get(), 3);
            store.buildPhaseMesh();
            QByteArray bits(reinterpret_cast<const char *>(store.phase.get()), int(4 * n));
            bits += QByteArray(reinterpret_cast<const char *>(store.rgbTexture.get()), int(3 * n));
            bits += QByteArray(reinterpret_cast<const char *>(store.vertexData.data()),
                               int(4 * store.vertexData.size()));
            bits += QByteArray(reinterpret_cast<const char *>(store.indexData.data()),
                               int(4 * store.indexData.size()));
            store.buildCoordinateMesh();
            bits += QByteArray(reinterpret_cast<const char *>(store.vertexData.data()),
                               int(4 * store.vertexData.size()));
            bits += QByteArray(reinterpret_cast<const char *>(store.indexData.data()),
                               int(4 * store.indexData.size()));
            return bits;
        };
        const int before = RowPool::instance().threadCount();
        const QByteArray one = run(1);
        QCOMPARE(run(2), one);
        QCOMPARE(run(5), one);
        RowPool::instance().setThreadCount(before);
    }
};

QTEST_GUILESS_MAIN(TestImageFilters)
#include "test_image_filters.moc"
