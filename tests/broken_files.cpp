#include "broken_files.h"

#include "data/binary_file.h"
#include "data/frame_mesh.h"
#include "data/pt_file.h"
#include "data/ptv_frame_decoder.h"
#include "data/ptv_reader.h"
#include "data/scan_frame_store.h"
#include "data/xyzm_file.h"
#include "sample/sample_files.h"

#include <QSize>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

QByteArray floats(std::vector<float> values) {
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(4 * values.size()));
}

QByteArray xyzmText(qint64 w, qint64 h) {
    return "image size width x height = " + QByteArray::number(w) + " x " + QByteArray::number(h);
}

QByteArray xyzm(int w, int h, float special = 1.0f, char mask = 1) {
    const int n = std::max(0, w * h);
    std::vector<float> xyz(size_t(3 * n));
    for (int i = 0; i < 3 * n; ++i)
        xyz[size_t(i)] = float(i) + 0.5f;
    if (n > 0)
        xyz[0] = special;
    return xyzmText(w, h) + floats(xyz) + QByteArray(3 * n, 'c') + QByteArray(n, mask);
}

// Every calibration block set, so that a save dropping one shows.
const CalibrationBlocks kCalibration = {{100, 0, 50, 0, 0, 100, 40, 0, 0, 0, 1, 0},
                                        {120, 0, 60, 500, 0, 110, 40, -20000, 0, -0.2, 1, 20},
                                        {1, 0, 0, 0, 1, 0, 0, 0, 1},
                                        {0.1, 0.2, 0.3, 0.4, 0.5},
                                        {2, 0, 0, 0, 2, 0, 0, 0, 1},
                                        {0.6, 0.7, 0.8, 0.9, 1}};

QByteArray ptHeader(int version, int w, int h, char colour = 0, int32_t mosaic = 0) {
    PtHeader header;
    header.version = version, header.width = w, header.height = h;
    header.colorTexture = uint8_t(colour), header.mosaicCode = mosaic, header.calibration = kCalibration;
    std::memcpy(header.captureTime, "2026-01-02-03-04", 16);
    return ptHeaderBytes(header);
}

QByteArray pt(int w, int h, float special = 300.0f, char texture = 9, int version = 1, char colour = 0,
              int32_t mosaic = 0) {
    const int n = std::max(0, w * h);
    std::vector<float> phase(size_t(n), 250.0f);
    if (n > 0)
        phase[0] = special;
    return ptHeader(version, w, h, colour, mosaic) + floats(phase) + QByteArray(colour ? 3 * n : n, texture);
}

QByteArray ptv(int w, int h, int frames, int framesWritten, float rate = 15.0f, float special = 300.0f,
               int version = 1) {
    PtvHeader header;
    header.version = version, header.frameRate = rate, header.frameCount = frames;
    header.width = w, header.height = h;
    std::memcpy(header.captureTime, "2026-01-02-03-04", 16);
    return ptvFile(header, framesWritten, special);
}

QString tooLarge(qint64 w, qint64 h) {
    return QStringLiteral("frame of %1 x %2 pixels is too large").arg(w).arg(h);
}

} // namespace

QByteArray ptvFile(const PtvHeader &header, int framesWritten, float special) {
    QByteArray bytes = ptvHeaderBytes(header);
    const int64_t w = header.width, n = std::max<int64_t>(0, header.pixelCount());
    for (int k = 0; k < framesWritten; ++k) {
        std::vector<float> phase(size_t(n), special);
        for (int64_t i = 1; i < n; ++i)
            phase[size_t(i)] = 100.0f + 0.37f * float(i % w) + 1.9f * float(i / w) + 10.0f * float(k);
        QByteArray texture(int(std::max<int64_t>(0, header.textureBytes())), '\0');
        for (int b = 0; b < texture.size(); ++b)
            texture[b] = char((b * 37 + k * 11) % 256);
        bytes += floats(phase) + texture;
    }
    return bytes;
}

QVector<BrokenFile> brokenFiles() {
    QVector<BrokenFile> files;
    auto add = [&files](const QString &name, const QByteArray &bytes, bool legal,
                        const QString &reason = {}) {
        files.push_back({name, bytes, legal, reason});
    };
    // A good file cut at every length; from legalFrom on it holds a frame.
    auto cuts = [&](const QByteArray &good, const QString &ending, int legalFrom, auto reasonAt) {
        for (int length = 0; length < good.size(); ++length)
            add(QString("cut%1.%2").arg(length).arg(ending), good.left(length), length >= legalFrom,
                length >= legalFrom ? QString() : reasonAt(length));
    };

    // A frame of one pixel, row or column is odd but legal; one without pixels no reader takes.
    for (QSize size : {QSize(1, 1), QSize(5, 1), QSize(1, 5), QSize(0, 2), QSize(-3, 2), QSize(3, -2)}) {
        const int w = size.width(), h = size.height();
        const QString name = QString("%1x%2.").arg(w).arg(h);
        const QString reason = QString("invalid frame size %1 x %2").arg(w).arg(h);
        add(name + "xyzm", xyzm(w, h), !size.isEmpty(), reason);
        add(name + "pt", pt(w, h), !size.isEmpty(), reason);
        add(name + "ptv", ptv(w, h, 2, 2), !size.isEmpty(), reason);
    }
    // Odd but legal: a value that is not finite, an unmeasured pixel.
    for (float special : {NAN, -INFINITY}) {
        add(QString("%1.xyzm").arg(special), xyzm(3, 2, special), true);
        add(QString("%1.pt").arg(special), pt(3, 2, special), true);
        add(QString("%1.ptv").arg(special), ptv(3, 2, 3, 3, 15.0f, special), true);
    }
    add("unmeasured.xyzm", xyzm(3, 2, 1.0f, 0), true);
    add("unmeasured.pt", pt(3, 2, 300.0f, 0), true);
    // Finite values whose sums overflow.
    add("hugevalues.xyzm", xyzmText(2, 1) + floats(std::vector<float>(6, 3e38f)) + "cccccc\1\1", true);
    // Versions no reader takes.
    for (int version : {0, 2}) {
        add(QString("version%1.pt").arg(version), pt(3, 2, 300.0f, 9, version), false,
            QString("unsupported PT version %1").arg(version));
        add(QString("version%1.ptv").arg(version), ptv(3, 2, 3, 3, 15.0f, 300.0f, version), false,
            QString("unsupported PTV version %1").arg(version));
    }

    const QByteArray goodXyzm = xyzm(3, 2);
    cuts(goodXyzm, "xyzm", goodXyzm.size(),
         [&](int length) { return length < 33 ? QString() : sizeMismatchMessage(goodXyzm.size(), length); });
    add("junk.xyzm", goodXyzm + "junk", false, sizeMismatchMessage(goodXyzm.size(), goodXyzm.size() + 4));
    add("huge.xyzm", xyzmText(99999, 99999) + QByteArray(64, '\1'), false, tooLarge(99999, 99999));
    add("notxyzm.xyzm", "image size width y height = 3 x 2" + goodXyzm.mid(33), false, "not an XYZM file");
    // Blanks around '=' and 'x' may be missing; coordinate bytes '0' and '7' after the height are
    // not more of the height.
    add("lenient.xyzm", "image size width x height=3 x2" + goodXyzm.mid(33), true);
    for (int h : {1, 12})
        add(QString("digits%1.xyzm").arg(h), xyzm(2, h).replace(xyzmText(2, h).size(), 4, "07\x80\x3f"),
            true);

    const QByteArray goodPt = pt(3, 2);
    cuts(goodPt, "pt", goodPt.size(), [&](int length) {
        return length < 449 ? QString("expected at least 449 bytes")
                            : sizeMismatchMessage(goodPt.size(), length);
    });
    add("junk.pt", goodPt + "junk", false, sizeMismatchMessage(goodPt.size(), goodPt.size() + 4));
    add("huge.pt", ptHeader(1, 100000, 100000), false, tooLarge(100000, 100000));
    add("colour.pt", ptHeader(1, 3, 2, 1) + goodPt.mid(449), false, sizeMismatchMessage(449 + 24 + 18, 479));
    add("grey.pt", pt(3, 2, 300.0f, 9, 1, 0, -1), true);
    add("threebytes.pt", pt(3, 2, 300.0f, 9, 1, 1), true);

    const QByteArray goodPtv = ptv(3, 2, 3, 3);
    cuts(goodPtv, "ptv", 457 + 30,
         [](int length) { return length < 457 ? "expected at least 457 bytes" : "no complete frame"; });
    add("beyond.ptv", ptv(3, 2, 9, 3), true); // plays the frames it holds
    add("partial.ptv", goodPtv + QByteArray(7, 'x'), true);
    add("single.ptv", ptv(3, 2, 1, 1), true);
    for (float rate : {0.0f, -15.0f, NAN, INFINITY})
        add(QString("rate%1.ptv").arg(rate), ptv(3, 2, 3, 3, rate), false,
            QString("invalid frame rate %1").arg(rate));
    for (int count : {0, -3})
        add(QString("count%1.ptv").arg(count), ptv(3, 2, count, 3), false,
            QString("invalid frame count %1").arg(count));
    add("huge.ptv", ptv(60000, 60000, 3, 0), false, tooLarge(60000, 60000));

    // Fuzz finds: sides whose 3 x W x H overflows 64 bits, or whose W x H wraps past 2^64 to 4
    // pixels. Frames just inside the limit are refused only for the bytes they lack.
    for (int32_t side : {2038004089, INT_MAX})
        add(QString("fuzz%1.pt").arg(side), ptHeader(1, side, side) + QByteArray(624, '\x79'), false,
            tooLarge(side, side));
    for (int32_t side : {1835887981, INT_MAX})
        add(QString("fuzz%1.ptv").arg(side),
            ptv(side, side, 758264109, 0, 2.6552120289125014e-06f) + QByteArray(39, '\0'), false,
            tooLarge(side, side));
    const qint64 limits[][3] = {{2147418113LL, 8590196740LL, 64},
                                {4294836226LL, 4295098370LL, 64},
                                {9999999999LL, 9999999999LL, 0},
                                {INT_MAX, INT_MAX, 0},
                                {715827883, 1, 0},
                                {715827882, 1, 0},
                                {1, 715827882, 0}};
    for (const auto &s : limits) {
        const qint64 w = s[0], h = s[1];
        const bool fits = h <= 715827882 / w;
        const QByteArray text = xyzmText(w, h);
        add(QString("limit%1x%2.xyzm").arg(w).arg(h), text + QByteArray(int(s[2]), '\0'), false,
            fits ? sizeMismatchMessage(text.size() + 16 * w * h, text.size() + s[2]) : tooLarge(w, h));
        if (w <= INT_MAX && h <= INT_MAX)
            add(QString("limit%1x%2.pt").arg(w).arg(h), ptHeader(1, int(w), int(h)), false,
                fits ? sizeMismatchMessage(449 + 5 * w * h, 449) : tooLarge(w, h));
    }
    return files;
}

bool loadScanFile(ScanFrameStore &store, FrameMesh &mesh, const QString &path, QString *error) {
    if (path.endsWith(".xyzm")) {
        if (!loadXYZMFile(store, path, error, nullptr))
            return false;
        store.computeCoordinateStatistics();
        buildCoordinateMesh(store, MeshSettings(), mesh);
        return true;
    }
    if (path.endsWith(".pt")) {
        if (!loadPtFile(store, path, error))
            return false;
    } else {
        PTVReader reader;
        std::FILE *file = nullptr;
        PtvHeader header;
        PtvFrameDecoder decoder;
        const bool loaded = reader.openStream(path, file, error) && reader.readHeader(file, header, error) &&
                            decoder.readFrame(file, header, nextPtvFrame(0, header.framesFound), error) &&
                            beginPtvSequence(store, header, error);
        if (loaded)
            decoder.commitFrame(header, store);
        reader.closeStream(file);
        if (!loaded)
            return false;
    }
    store.computePhaseStatistics();
    buildPhaseMesh(store, MeshSettings(), mesh);
    return true;
}
