#include "data/demosaicer.h"
#include "data/image_filter.h"
#include "support/row_pool.h"

#include <QtTest>

#include <cstring>
#include <random>
#include <vector>

class TestImageFilters : public QObject {
    Q_OBJECT

  private slots:
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
};

QTEST_GUILESS_MAIN(TestImageFilters)
#include "test_image_filters.moc"
